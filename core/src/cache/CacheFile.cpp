#include "vantery/cache/CacheFile.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <limits>
#include <thread>

#include "base/Parallel.hpp"
#include "cache/BinaryCodec.hpp"
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
    return strings[readStringIndex()];
}

std::size_t BinaryReader::readStringIndex() {
    std::uint64_t i = readUInt();
    if (i >= strings.size()) throw Failure{DecodeError::badStringIndex};
    return static_cast<std::size_t>(i);
}

void BinaryReader::readStringTable() {
    std::uint64_t count = readUInt();
    if (count > maxCacheStrings) throw Failure{DecodeError::badString};
    // Every string takes at least its one length byte.
    strings.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, remaining())));
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint64_t length = readUInt();
        if (length > remaining()) throw Failure{DecodeError::truncated};
        std::string_view raw = bytes.substr(offset, static_cast<std::size_t>(length));
        if (isAscii(raw) || text::isValidUtf8(raw)) {
            strings.push_back(raw);
        } else {
            repaired.push_back(text::sanitizeUtf8(raw));
            strings.push_back(repaired.back());
        }
        offset += static_cast<std::size_t>(length);
    }
}

namespace {

// Pieces handed to the sink are about this large: the file is never held whole.
constexpr std::size_t pieceBytes = std::size_t{4} << 20;

// The cache file's string table: every string of the entries in the order a writer
// going through them in order meets it, each once. Texts of the dictionary are looked
// up once per id, keys on their blocks' stored hashes.
struct StringNumbers {
    FlatIndex index;
    std::vector<std::string_view> strings;
    // String index + 1 of each dictionary id, 0 until met.
    std::vector<std::uint32_t> model, session, cwd, home, agent;

    StringNumbers(std::size_t expected, const RequestDictionary::Sizes& sizes)
        : index(expected), model(sizes.models), session(sizes.sessions), cwd(sizes.cwds),
          home(sizes.homes), agent(sizes.agents) {
        strings.reserve(expected);
    }
    std::uint32_t intern(std::string_view s, std::size_t hash) {
        auto [value, inserted] =
            index.tryEmplace(s, hash, static_cast<std::uint32_t>(strings.size()));
        if (inserted) strings.push_back(s);
        return value;
    }
    std::uint32_t intern(std::string_view s) { return intern(s, FlatIndex::hashOf(s)); }
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
                    const std::function<void(std::string_view)>& sink) {
    std::size_t records = 0;
    for (const auto& [path, state] : table)
        records += state.block ? state.block->size() : 0;

    // The string table, numbered in writing order; each entry's path and keys noted.
    std::vector<const ScanCache::FileTable::value_type*> entries;
    std::vector<std::uint32_t> paths;
    std::vector<std::size_t> firstKey; // position of each entry's first key in keys
    std::vector<std::uint32_t> keys;
    entries.reserve(table.size());
    keys.reserve(records);
    StringNumbers numbers(records + table.size() + 64, dictionary.sizes());
    for (const auto& entry : table) {
        entries.push_back(&entry);
        paths.push_back(numbers.intern(entry.first));
        firstKey.push_back(keys.size());
        if (!entry.second.block) continue;
        const FileBlock& b = *entry.second.block;
        for (std::size_t i = 0; i < b.size(); ++i) {
            keys.push_back(numbers.intern(b.key(i), b.keyHash(i)));
            (void)numbers.of(b.row(i), dictionary);
        }
    }

    BinaryWriter w;
    w.bytes.reserve(pieceBytes + 4096);
    w.bytes.assign(magic);
    w.bytes.push_back(static_cast<char>(version));
    w.writeUInt(numbers.strings.size());
    for (std::string_view s : numbers.strings) {
        w.writeUInt(s.size());
        w.bytes.append(s);
        flushIf(w, sink, false);
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
        inRun += entries[e]->second.block ? entries[e]->second.block->size() : 0;
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
    std::size_t path = 0;
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

// The descriptive fields' strings resolved to dictionary ids, shared by the threads
// that build the blocks. Each string remembers the id of its first use (its kind in the
// top bits), so the dictionary, behind its lock, is asked about a string about once;
// each thread also checks the last string of each kind first, as a file's requests
// mostly repeat a few.
class FieldIds {
  public:
    enum Kind : std::uint32_t { model, session, cwd, home, agent };

    FieldIds(const std::vector<std::string_view>& strings, RequestDictionary& d)
        : strings_(strings), d_(d), slot_(strings.size()) {}

    /// One block's view: its own last strings in front of the shared ones.
    class Resolver {
      public:
        explicit Resolver(FieldIds& ids) : ids_(ids) {}
        std::uint32_t operator()(Kind kind, std::size_t s) {
            Last& last = last_[kind];
            if (last.string != s) last = {s, ids_.resolve(kind, s)};
            return last.id;
        }

      private:
        struct Last {
            std::size_t string = SIZE_MAX;
            std::uint32_t id = 0;
        };
        FieldIds& ids_;
        Last last_[5];
    };

  private:
    static constexpr int idBits = 29;

    std::uint32_t resolve(Kind kind, std::size_t s) {
        const std::uint32_t tag = (kind + 1) << idBits;
        std::uint32_t held = slot_[s].load(std::memory_order_relaxed);
        if ((held >> idBits << idBits) == tag) return held & ((1u << idBits) - 1);
        const std::uint32_t id = intern(kind, strings_[s]);
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
        }
        return 0;
    }

    const std::vector<std::string_view>& strings_;
    RequestDictionary& d_;
    std::vector<std::atomic<std::uint32_t>> slot_;
};

} // namespace

std::optional<CacheContent> decodeCacheFile(std::string_view bytes) {
    if (bytes.size() < 6 || bytes.substr(0, 4) != magic) return std::nullopt;
    BinaryReader r(bytes.substr(4));
    std::vector<EntrySpan> spans;
    std::vector<std::size_t> ends; // where each entry's records end
    try {
        if (r.readUInt() != version) return std::nullopt;
        r.readStringTable();

        // First pass, serial: every entry's fields checked, its records only bounded.
        const std::int64_t fileCount = r.readInt();
        for (std::int64_t f = 0; f < fileCount; ++f) {
            EntrySpan e;
            e.path = r.readStringIndex();
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

    // Second pass, on several threads: each file's records checked and its block built,
    // rows in the file's order. Meanwhile each key's string notes the one entry using it,
    // so that the table can tell whether any request sits in two files.
    std::size_t totalRecords = 0;
    for (const EntrySpan& e : spans)
        totalRecords += static_cast<std::size_t>(e.recordCount);
    auto dictionary = std::make_shared<RequestDictionary>();
    const std::vector<std::string_view>& strings = r.strings;
    std::vector<std::atomic<std::uint32_t>> keyEntry(strings.size());
    FieldIds ids(strings, *dictionary);
    std::atomic<bool> failed{false}, shared{false};
    parallel::forEach(
        spans.size(),
        [&](std::size_t i) {
            if (failed.load(std::memory_order_relaxed)) return;
            EntrySpan& e = spans[i];
            BinaryReader rr(r.bytes);
            rr.offset = e.recordsAt;
            FieldIds::Resolver field(ids);
            FileBlock::Builder block(static_cast<std::size_t>(e.recordCount));
            const auto mark = static_cast<std::uint32_t>(i + 1);
            bool keysShared = false;
            try {
                for (std::int64_t k = 0; k < e.recordCount; ++k) {
                    const RecordFields f = readRecord(rr, strings.size());
                    RequestRow row;
                    row.timestamp = f.timestamp;
                    row.model = field(FieldIds::model, f.model);
                    row.session = field(FieldIds::session, f.session);
                    row.cwd = field(FieldIds::cwd, f.cwd);
                    row.home = static_cast<std::uint8_t>(field(FieldIds::home, f.home));
                    row.agent = field(FieldIds::agent, f.agent);
                    if (f.assumed) row.flags |= RequestRow::assumedFlag;
                    dictionary->setCounts(row, {f.counts[0], f.counts[1], f.counts[2], f.counts[3],
                                                f.counts[4], f.counts[5], f.counts[6]});
                    const std::string_view key = strings[f.key];
                    if (!key.empty() && !keysShared) {
                        // A repaired key may equal another repaired differently.
                        std::uint32_t owner = 0;
                        if (!r.holds(key) || (!keyEntry[f.key].compare_exchange_strong(
                                                  owner, mark, std::memory_order_relaxed) &&
                                              owner != mark))
                            keysShared = true;
                    }
                    // A key written twice in one entry: the later one stands, where the
                    // first was.
                    if (auto at = block.find(key))
                        block.row(*at) = row;
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
        },
        totalRecords < 8192 ? 1 : SIZE_MAX);
    if (failed) return std::nullopt;

    CacheContent out;
    out.dictionary = std::move(dictionary);
    out.keysDistinct = !shared;
    for (EntrySpan& e : spans)
        out.files.insert_or_assign(std::string(r.strings[e.path]), std::move(e.state));
    return out;
}

} // namespace vantery
