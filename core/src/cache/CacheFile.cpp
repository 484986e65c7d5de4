#include "vantery/cache/CacheFile.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <limits>
#include <thread>

#include "base/Parallel.hpp"
#include "cache/BinaryCodec.hpp"
#include "cache/CacheFileKeys.hpp"
#include "model/PrintIndex.hpp"
#include "vantery/base/Text.hpp"
#include "vantery/cache/CacheLocation.hpp"

namespace vantery {

namespace {

using cachefile::magic;
constexpr std::uint64_t version = 2;
constexpr std::uint64_t maxInt =
    static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

bool isAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

} // namespace

std::uint32_t BinaryWriter::intern(std::string_view s) {
    auto [value, inserted] = index.tryEmplace(s, static_cast<std::uint32_t>(strings.size()));
    if (inserted) strings.push_back(s);
    return value;
}

void BinaryWriter::writeUInt(std::uint64_t v) {
    while (v >= 0x80) {
        bytes.push_back(static_cast<char>((v & 0x7F) | 0x80));
        v >>= 7;
    }
    bytes.push_back(static_cast<char>(v));
}

void BinaryWriter::writeDouble(double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    for (int i = 0; i < 8; ++i)
        bytes.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}

std::string BinaryWriter::finish(std::string_view header) const {
    BinaryWriter table;
    std::size_t total = 0;
    for (std::string_view s : strings)
        total += s.size() + 2;
    table.bytes.reserve(header.size() + 10 + total + bytes.size());
    table.bytes.append(header);
    table.writeUInt(strings.size());
    for (std::string_view s : strings) {
        table.writeUInt(s.size());
        table.bytes.append(s);
    }
    table.bytes.append(bytes);
    return std::move(table.bytes);
}

std::uint64_t BinaryReader::readUInt() {
    std::uint64_t value = 0;
    for (int i = 0; i < 9; ++i) {
        if (offset >= bytes.size()) throw Failure{DecodeError::truncated};
        auto b = static_cast<unsigned char>(bytes[offset++]);
        value |= static_cast<std::uint64_t>(b & 0x7F) << (7 * i);
        if ((b & 0x80) == 0) return value;
    }
    if (offset >= bytes.size()) throw Failure{DecodeError::truncated};
    auto b = static_cast<unsigned char>(bytes[offset++]);
    if (b & 0x80) throw Failure{DecodeError::truncated};
    return value | (static_cast<std::uint64_t>(b & 0x01) << 63);
}

std::int64_t BinaryReader::readInt() {
    std::uint64_t v = readUInt();
    if (v > maxInt) throw Failure{DecodeError::badInt};
    return static_cast<std::int64_t>(v);
}

double BinaryReader::readDouble() {
    if (remaining() < 8) throw Failure{DecodeError::truncated};
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[offset + i]))
                << (8 * i);
    offset += 8;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

bool BinaryReader::readBool() {
    if (offset >= bytes.size()) throw Failure{DecodeError::truncated};
    return bytes[offset++] != 0;
}

std::string_view BinaryReader::readString() {
    return string(readStringIndex());
}

std::size_t BinaryReader::readStringIndex() {
    std::uint64_t i = readUInt();
    if (i >= stringAt.size()) throw Failure{DecodeError::badStringIndex};
    return static_cast<std::size_t>(i);
}

std::string_view BinaryReader::string(std::size_t i) const {
    const std::uint32_t at = stringAt[i];
    if (at & repairedFlag) return repaired.at(static_cast<std::uint32_t>(i));
    // Read once already: the length is well formed and the text within bounds.
    std::size_t o = at;
    std::uint64_t length = 0;
    for (int shift = 0;; shift += 7) {
        const auto b = static_cast<unsigned char>(bytes[o++]);
        length |= static_cast<std::uint64_t>(b & 0x7F) << shift;
        if ((b & 0x80) == 0) break;
    }
    return bytes.substr(o, static_cast<std::size_t>(length));
}

void BinaryReader::readStringTable() {
    if (bytes.size() > maxBytes) throw Failure{DecodeError::truncated};
    std::uint64_t count = readUInt();
    if (count > maxCacheStrings) throw Failure{DecodeError::badString};
    // Every string takes at least its one length byte.
    stringAt.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, remaining())));
    for (std::uint64_t i = 0; i < count; ++i) {
        const auto at = static_cast<std::uint32_t>(offset);
        std::uint64_t length = readUInt();
        if (length > remaining()) throw Failure{DecodeError::truncated};
        std::string_view raw = bytes.substr(offset, static_cast<std::size_t>(length));
        if (isAscii(raw) || text::isValidUtf8(raw)) {
            stringAt.push_back(at);
        } else {
            repaired.emplace(static_cast<std::uint32_t>(stringAt.size()), text::sanitizeUtf8(raw));
            stringAt.push_back(at | repairedFlag);
        }
        offset += static_cast<std::size_t>(length);
    }
}

namespace {

// Pieces handed to the sink are about this large: the file is never held whole.
constexpr std::size_t pieceBytes = std::size_t{4} << 20;

// The cache file's string table: every string of the entries in the order a writer
// going through them in order meets it, each once. Texts of the dictionary are looked
// up once per id; keys are numbered on their prints, apart from the other texts (a key
// that reads like a model or a path is written twice, which readers never mind: keys
// are only ever compared with keys). Only numbers are kept: the texts are read again,
// in the same order, as the table is written.
struct StringNumbers {
    FlatIndex index;
    std::uint32_t count = 0;
    // String index + 1 of each dictionary id, 0 until met.
    std::vector<std::uint32_t> model, session, cwd, home, agent;

    explicit StringNumbers(const RequestDictionary::Sizes& sizes)
        : model(sizes.models), session(sizes.sessions), cwd(sizes.cwds), home(sizes.homes),
          agent(sizes.agents) {}
    std::uint32_t intern(std::string_view s) {
        auto [value, inserted] = index.tryEmplace(s, count);
        if (inserted) ++count;
        return value;
    }
    template <class Text>
    std::uint32_t byId(std::vector<std::uint32_t>& ids, std::size_t id, Text&& text) {
        if (id >= ids.size()) ids.resize(id + 1, 0); // interned after the sizes were taken
        if (ids[id] == 0) ids[id] = intern(text(id)) + 1;
        return ids[id] - 1;
    }
    struct Row {
        std::uint32_t model, session, cwd, home, agent;
    };
    Row of(const RequestRow& r, const RequestDictionary& d) {
        return {
            byId(model, r.model, [&](std::size_t i) { return d.model(i); }),
            byId(session, r.session, [&](std::size_t i) { return d.session(i); }),
            byId(cwd, r.cwd, [&](std::size_t i) { return d.cwd(i); }),
            byId(home, r.home, [&](std::size_t i) { return d.home(static_cast<std::uint8_t>(i)); }),
            byId(agent, r.agent, [&](std::size_t i) -> std::string_view {
                return d.agent(static_cast<std::uint32_t>(i)).rawIdText();
            })};
    }
    /// The numbers of a row met by `of` before; reads only, so threads may share it.
    Row known(const RequestRow& r) const {
        return {model[r.model] - 1, session[r.session] - 1, cwd[r.cwd] - 1, home[r.home] - 1,
                agent[r.agent] - 1};
    }
};

// One file entry, its string numbers already known.
void encodeEntry(BinaryWriter& w, const ScanCache::FileState& state, std::uint32_t path,
                 const std::uint32_t* keys, std::int64_t rank, const StringNumbers& numbers,
                 const RequestDictionary& dictionary) {
    w.writeUInt(path);
    w.writeUInt(state.size);
    w.writeDouble(state.mtime);
    w.writeUInt(state.inode);
    w.writeUInt(state.consumed);
    const ScanCache::FileDiagnostics& d = state.diag;
    for (std::int64_t v :
         {d.usageLines, d.notUsageBearing, d.skippedZeroUsage, d.rejectedInvalidJSON,
          d.rejectedNoMessage, d.rejectedNoTimestamp, d.rejectedNoIdentity, d.longestLineBytes})
        w.writeInt(v);
    const std::size_t n = state.block ? state.block->size() : 0;
    w.writeUInt(n);
    for (std::size_t i = 0; i < n; ++i) {
        const RequestRow& r = state.block->row(i);
        const StringNumbers::Row s = numbers.known(r);
        w.writeUInt(keys[i]);
        w.writeDouble(r.timestamp);
        for (std::uint32_t v : {s.model, s.session, s.cwd, s.home, s.agent})
            w.writeUInt(v);
        const RequestCounts c = dictionary.counts(r);
        for (std::int64_t v : {c.input, c.output, c.cacheWrite5m, c.cacheWrite1h, c.cacheRead,
                               c.webSearch, c.webFetch})
            w.writeInt(v);
        w.writeBool(r.cacheWriteBreakdownAssumed());
        w.writeInt(rank);
    }
}

// Hands the writer's bytes to the sink once they pass the piece size.
void flushIf(BinaryWriter& w, const std::function<void(std::string_view)>& sink, bool always) {
    if (w.bytes.empty() || (!always && w.bytes.size() < pieceBytes)) return;
    sink(w.bytes);
    w.bytes.clear();
}

} // namespace

void writeCacheFile(const ScanCache::FileTable& table, const RequestDictionary& dictionary,
                    const std::function<void(std::string_view)>& sink, bool keysDistinct) {
    std::size_t records = 0;
    std::vector<const ScanCache::FileTable::value_type*> entries;
    std::vector<const FileBlock*> blocks;
    entries.reserve(table.size());
    blocks.reserve(table.size());
    for (const auto& entry : table) {
        entries.push_back(&entry);
        blocks.push_back(entry.second.block.get());
        records += entry.second.block ? entry.second.block->size() : 0;
    }
    if (records >= std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("too many requests for a cache file");

    // The string table, numbered in writing order; each entry's path and keys noted.
    std::vector<std::uint32_t> paths;
    std::vector<std::size_t> firstKey; // position of each entry's first key in keys
    std::vector<std::uint32_t> keys(records);
    StringNumbers numbers(dictionary.sizes());
    {
        // Keys met in several blocks share a number: the first meeting's.
        std::optional<detail::PrintIndex> shared;
        if (!keysDistinct) shared.emplace(blocks, records);
        std::size_t position = 0;
        for (std::size_t e = 0; e < entries.size(); ++e) {
            paths.push_back(numbers.intern(entries[e]->first));
            firstKey.push_back(position);
            if (!blocks[e]) continue;
            const FileBlock& b = *blocks[e];
            for (std::size_t i = 0; i < b.size(); ++i, ++position) {
                // Within a block keys are distinct; the empty key is one text like others.
                if (!b.hasKey(i)) {
                    keys[position] = numbers.intern(std::string_view());
                } else {
                    const std::size_t first =
                        shared ? shared->firstOf(b.keyPrint(i), position) : position;
                    keys[position] = first == position ? numbers.count++ : keys[first];
                }
                (void)numbers.of(b.row(i), dictionary);
            }
        }
    }

    BinaryWriter w;
    w.bytes.reserve(pieceBytes + 4096);
    w.bytes.assign(magic);
    w.bytes.push_back(static_cast<char>(version));
    w.writeUInt(numbers.count);
    // The texts in number order: the same walk again, each text written when its number
    // comes up.
    std::uint32_t next = 0;
    auto put = [&](std::uint32_t number, auto&& text) {
        if (number != next) return;
        const std::string_view s = text();
        w.writeUInt(s.size());
        w.bytes.append(s);
        flushIf(w, sink, false);
        ++next;
    };
    {
        std::size_t position = 0;
        FileBlock::KeyReader key;
        for (std::size_t e = 0; e < entries.size(); ++e) {
            put(paths[e], [&] { return std::string_view(entries[e]->first); });
            if (!blocks[e]) continue;
            const FileBlock& b = *blocks[e];
            for (std::size_t i = 0; i < b.size(); ++i, ++position) {
                put(keys[position], [&] { return keyAsItWas(key, b, i); });
                const RequestRow& r = b.row(i);
                const StringNumbers::Row n = numbers.known(r);
                put(n.model, [&] { return dictionary.model(r.model); });
                put(n.session, [&] { return dictionary.session(r.session); });
                put(n.cwd, [&] { return dictionary.cwd(r.cwd); });
                put(n.home, [&] { return dictionary.home(r.home); });
                put(n.agent,
                    [&]() -> std::string_view { return dictionary.agent(r.agent).rawIdText(); });
            }
        }
    }
    w.writeUInt(table.size());
    flushIf(w, sink, true);

    // The entries, a request's rank its file's position in the table: runs of entries
    // of about a piece each, a few runs encoded at once on several threads and handed
    // on in order, so that only those few pieces are ever held.
    // A record takes some 40 to 80 bytes.
    constexpr std::size_t recordsPerRun = pieceBytes / 128;
    std::vector<std::size_t> runStart{0};
    for (std::size_t e = 0, inRun = 0; e < entries.size(); ++e) {
        inRun += blocks[e] ? blocks[e]->size() : 0;
        if (inRun >= recordsPerRun || e + 1 == entries.size()) {
            runStart.push_back(e + 1);
            inRun = 0;
        }
    }
    const std::size_t runs = runStart.size() - 1;
    const std::size_t together = std::max<std::size_t>(1, parallel::maxThreads());
    std::vector<std::string> encoded(together);
    for (std::size_t first = 0; first < runs; first += together) {
        const std::size_t count = std::min(together, runs - first);
        parallel::forEach(count, [&](std::size_t k) {
            BinaryWriter out;
            const std::size_t from = runStart[first + k], to = runStart[first + k + 1];
            const std::size_t upTo = to < entries.size() ? firstKey[to] : keys.size();
            out.bytes.reserve((upTo - firstKey[from]) * 88 + (to - from) * 128);
            for (std::size_t e = from; e < to; ++e)
                encodeEntry(out, entries[e]->second, paths[e], keys.data() + firstKey[e],
                            static_cast<std::int64_t>(e), numbers, dictionary);
            encoded[k] = std::move(out.bytes);
        });
        for (std::size_t k = 0; k < count; ++k) {
            sink(encoded[k]);
            encoded[k] = {};
        }
    }
}

std::string encodeCacheFile(const ScanCache::FileTable& table,
                            const RequestDictionary& dictionary) {
    std::string out;
    writeCacheFile(table, dictionary, [&](std::string_view piece) { out.append(piece); });
    return out;
}

namespace {

// One file entry, checked field by field; its records are decoded afterwards.
struct EntrySpan {
    // Copied in the first pass: read at the end, after the file's pages were let go,
    // 20,000 paths spread over the string table bring most of it back through readahead.
    std::string path;
    ScanCache::FileState state;
    std::size_t recordsAt = 0;
    std::int64_t recordCount = 0;
};

// Reads one record entry; every check of the format is made here.
struct RecordFields {
    std::size_t key, model, session, cwd, home, agent;
    double timestamp;
    std::int64_t counts[7];
    bool assumed;
    std::int64_t rank;
};

// `strings` is the size of the string table.
RecordFields readRecord(BinaryReader& r, std::size_t strings) {
    auto index = [&] {
        std::uint64_t i = r.readUInt();
        if (i >= strings) throw BinaryReader::Failure{BinaryReader::DecodeError::badStringIndex};
        return static_cast<std::size_t>(i);
    };
    RecordFields f;
    f.key = index();
    f.timestamp = r.readDouble();
    f.model = index();
    f.session = index();
    f.cwd = index();
    f.home = index();
    f.agent = index();
    for (std::int64_t& c : f.counts)
        c = r.readInt();
    f.assumed = r.readBool();
    f.rank = r.readInt();
    return f;
}

// The end of `count` records from `at`, found by counting varint ends alone; npos when
// the bytes end first. On bytes that readRecord accepts it ends exactly where reading
// them would; on others readRecord fails, so the bounds found here never let a damaged
// file through.
std::size_t skipRecords(std::string_view bytes, std::size_t at, std::uint64_t count) {
    constexpr std::size_t npos = std::string_view::npos;
    // Each record takes at least 14 one-byte varints, its time and its flag.
    constexpr std::uint64_t minRecordBytes = 23;
    if (at > bytes.size() || count > (bytes.size() - at) / minRecordBytes) return npos;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    auto varints = [&](int k) {
        while (k > 0) {
            if (at >= n) return false;
            if ((p[at++] & 0x80) == 0) --k;
        }
        return true;
    };
    for (std::uint64_t i = 0; i < count; ++i) {
        // key, time, five string indexes and seven counters, flag, rank
        if (!varints(1) || n - at < 8) return npos;
        at += 8;
        if (!varints(12) || at >= n) return npos;
        at += 1;
        if (!varints(1)) return npos;
    }
    return at;
}

// What each string of the table is used for, one word a string, shared by the threads
// that build the blocks. A descriptive field's string remembers the dictionary id of its
// first use (its kind in the top bits), so that the dictionary, behind its lock, is asked
// about a string about once; a key's string remembers the one entry that used it, so that
// the table can tell whether any request sits in two files. Each thread also checks the
// last string of each kind first, as a file's requests mostly repeat a few.
class StringUses {
  public:
    enum Kind : std::uint32_t { model, session, cwd, home, agent, key };

    StringUses(const BinaryReader& strings, RequestDictionary& d)
        : strings_(strings), d_(d), slot_(strings.stringAt.size()) {}

    /// One block's view: its own last strings in front of the shared ones.
    class Resolver {
      public:
        explicit Resolver(StringUses& uses) : uses_(uses) {}
        std::uint32_t operator()(Kind kind, std::size_t s) {
            Last& last = last_[kind];
            if (last.string != s) last = {s, uses_.resolve(kind, s)};
            return last.id;
        }

      private:
        struct Last {
            std::size_t string = SIZE_MAX;
            std::uint32_t id = 0;
        };
        StringUses& uses_;
        Last last_[5];
    };

    /// Notes that entry `entry` uses string `s` as a key; false when another entry (or
    /// another use) holds it already, or the entry cannot be told apart.
    bool claimKey(std::size_t s, std::size_t entry) {
        const std::uint32_t mine = tagOf(key) | static_cast<std::uint32_t>(entry + 1);
        if (entry + 1 >= (std::size_t{1} << idBits)) return false;
        std::uint32_t held = 0;
        return slot_[s].compare_exchange_strong(held, mine, std::memory_order_relaxed) ||
               held == mine;
    }

  private:
    static constexpr int idBits = 29;
    static constexpr std::uint32_t tagOf(Kind kind) { return (kind + 1) << idBits; }

    std::uint32_t resolve(Kind kind, std::size_t s) {
        const std::uint32_t tag = tagOf(kind);
        std::uint32_t held = slot_[s].load(std::memory_order_relaxed);
        if ((held >> idBits << idBits) == tag) return held & ((1u << idBits) - 1);
        const std::uint32_t id = intern(kind, strings_.string(s));
        // Threads racing here intern the same text and get the same id.
        if (held == 0 && id < (1u << idBits))
            slot_[s].compare_exchange_strong(held, tag | id, std::memory_order_relaxed);
        return id;
    }
    std::uint32_t intern(Kind kind, std::string_view text) {
        switch (kind) {
        case model:
            return d_.internModel(text);
        case session:
            return d_.internSession(text);
        case cwd:
            return d_.internCwd(text);
        case home:
            return d_.internHome(text);
        case agent:
            return text.empty() ? 0 : d_.internAgent(AgentIdentity::parse(text));
        case key:
            break;
        }
        return 0;
    }

    const BinaryReader& strings_;
    RequestDictionary& d_;
    std::vector<std::atomic<std::uint32_t>> slot_;
};

// Consecutive entries whose records take about this many bytes are decoded together,
// and the mapped pages they touched let go before the next ones.
constexpr std::size_t batchBytes = std::size_t{32} << 20;

} // namespace

std::optional<CacheContent> decodeCacheFile(std::string_view bytes, const CacheFileSource* source) {
    if (bytes.size() < 6 || bytes.substr(0, 4) != magic) return std::nullopt;
    constexpr std::size_t bodyAt = 4; // the body's offset in the file: after the magic
    BinaryReader r(bytes.substr(bodyAt));
    auto release = [&] {
        if (source && source->release) source->release();
    };
    std::vector<EntrySpan> spans;
    std::vector<std::size_t> ends; // where each entry's records end
    try {
        if (r.readUInt() != version) return std::nullopt;
        r.readStringTable();
        release();

        // First pass, serial: every entry's fields checked, its records only bounded.
        const std::int64_t fileCount = r.readInt();
        for (std::int64_t f = 0; f < fileCount; ++f) {
            EntrySpan e;
            e.path = r.string(r.readStringIndex());
            e.state.size = r.readUInt();
            e.state.mtime = r.readDouble();
            e.state.inode = r.readUInt();
            e.state.consumed = r.readUInt();
            ScanCache::FileDiagnostics& d = e.state.diag;
            for (std::int64_t* v :
                 {&d.usageLines, &d.notUsageBearing, &d.skippedZeroUsage, &d.rejectedInvalidJSON,
                  &d.rejectedNoMessage, &d.rejectedNoTimestamp, &d.rejectedNoIdentity,
                  &d.longestLineBytes})
                *v = r.readInt();
            e.recordCount = r.readInt();
            e.recordsAt = r.offset;
            r.offset = skipRecords(r.bytes, r.offset, static_cast<std::uint64_t>(e.recordCount));
            if (r.offset == std::string_view::npos) return std::nullopt;
            ends.push_back(r.offset);
            spans.push_back(std::move(e));
        }
    } catch (const BinaryReader::Failure&) {
        return std::nullopt;
    }
    release();

    // Second pass, batch by batch on several threads: each file's records checked and
    // its block built, rows in the file's order. Keys are left in the source when there
    // is one (but the repaired ones, whose text is not the file's).
    std::size_t totalRecords = 0;
    for (const EntrySpan& e : spans)
        totalRecords += static_cast<std::size_t>(e.recordCount);
    auto dictionary = std::make_shared<RequestDictionary>();
    const std::size_t strings = r.stringAt.size();
    StringUses uses(r, *dictionary);
    std::atomic<bool> failed{false}, shared{false};
    auto build = [&](std::size_t i) {
        if (failed.load(std::memory_order_relaxed)) return;
        EntrySpan& e = spans[i];
        BinaryReader rr(r.bytes);
        rr.offset = e.recordsAt;
        StringUses::Resolver field(uses);
        FileBlock::Builder block(static_cast<std::size_t>(e.recordCount));
        bool keysShared = false;
        try {
            for (std::int64_t k = 0; k < e.recordCount; ++k) {
                const RecordFields f = readRecord(rr, strings);
                RequestRow row;
                row.timestamp = f.timestamp;
                row.model = field(StringUses::model, f.model);
                row.session = field(StringUses::session, f.session);
                row.cwd = field(StringUses::cwd, f.cwd);
                row.home = static_cast<std::uint8_t>(field(StringUses::home, f.home));
                row.agent = field(StringUses::agent, f.agent);
                if (f.assumed) row.flags |= RequestRow::assumedFlag;
                dictionary->setCounts(row, {f.counts[0], f.counts[1], f.counts[2], f.counts[3],
                                            f.counts[4], f.counts[5], f.counts[6]});
                const std::string_view key = r.string(f.key);
                const KeyPrint print = KeyPrint::of(key);
                // A repaired key may equal another repaired differently.
                if (!key.empty() && !keysShared &&
                    (r.isRepaired(f.key) || !uses.claimKey(f.key, i)))
                    keysShared = true;
                // A key written twice in one entry: the later one stands, where the
                // first was.
                if (auto at = block.find(print))
                    block.row(*at) = row;
                else if (source && source->keys && !key.empty() && !r.isRepaired(f.key))
                    block.add(print, source->keys,
                              static_cast<std::uint32_t>(bodyAt + (r.stringAt[f.key])), row);
                else
                    block.add(key, row);
            }
            if (rr.offset != ends[i])
                throw BinaryReader::Failure{BinaryReader::DecodeError::truncated};
        } catch (const BinaryReader::Failure&) {
            failed = true;
            return;
        } catch (const std::length_error&) {
            failed = true; // more homes than a row can name
            return;
        }
        if (keysShared) shared = true;
        e.state.block = block.finish();
    };
    const std::size_t workers = totalRecords < 8192 ? 1 : SIZE_MAX;
    for (std::size_t first = 0; first < spans.size() && !failed;) {
        std::size_t last = first + 1;
        while (last < spans.size() && ends[last - 1] - spans[first].recordsAt < batchBytes)
            ++last;
        parallel::forEach(
            last - first, [&](std::size_t k) { build(first + k); }, workers);
        release();
        first = last;
    }
    if (failed) return std::nullopt;

    CacheContent out;
    out.dictionary = std::move(dictionary);
    out.keysDistinct = !shared;
    for (EntrySpan& e : spans)
        out.files.insert_or_assign(std::move(e.path), std::move(e.state));
    return out;
}

} // namespace vantery
