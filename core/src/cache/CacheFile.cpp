#include "vantery/cache/CacheFile.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <thread>

#include "base/Parallel.hpp"
#include "cache/BinaryCodec.hpp"
#include "vantery/base/Text.hpp"

namespace vantery {

namespace {

constexpr std::string_view magic = "VTC1";
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

// A file's strings in the order first met, and for each string field of the file,
// in field order, the position of its string in that list.
struct LocalStrings {
    std::vector<std::string_view> strings;
    std::vector<std::size_t> hashes;
    std::vector<std::uint32_t> refs;
    // Where each string occurs first in the whole file: (entry << 32) | position.
    std::vector<std::uint64_t> owner;
    // For a string met here first: its rank among this entry's first meetings.
    std::vector<std::uint32_t> firstRank;
    std::uint32_t firstCount = 0;
    std::vector<std::uint32_t> global;
    std::string body;
};

// The fields that repeat from record to record (model, session, directory, home,
// agent) are looked up only when they change.
struct Repeated {
    std::string_view last;
    std::uint32_t index = 0;
    bool valid = false;
};

void collectStrings(const std::string& path, const ScanCache::FileState& state, LocalStrings& out) {
    const std::size_t records = state.records ? state.records->size() : 0;
    FlatIndex index(records + 8);
    out.strings.reserve(records + 8);
    out.refs.reserve(1 + records * 6);
    out.hashes.reserve(records + 8);
    auto intern = [&](std::string_view s) {
        const std::size_t h = FlatIndex::hashOf(s);
        auto [i, inserted] = index.tryEmplace(s, h, static_cast<std::uint32_t>(out.strings.size()));
        if (inserted) {
            out.strings.push_back(s);
            out.hashes.push_back(h);
        }
        return i;
    };
    auto repeated = [&](Repeated& memo, std::string_view s) {
        if (!memo.valid || s != memo.last) memo = {s, intern(s), true};
        out.refs.push_back(memo.index);
    };
    out.refs.push_back(intern(path));
    if (!state.records) return;
    Repeated model, session, cwd, home, agent;
    for (const auto& [key, r] : *state.records) {
        out.refs.push_back(intern(key));
        repeated(model, r.model);
        repeated(session, r.sessionId);
        repeated(cwd, r.rawCwd);
        repeated(home, r.sourceHome);
        repeated(agent, r.agent.rawIdText());
    }
}

// One file entry with its string fields taken, in order, from `refs` mapped
// through `global` (local position -> index in the file's string table).
std::string encodeEntry(const ScanCache::FileState& state, const std::vector<std::uint32_t>& refs,
                        const std::vector<std::uint32_t>& global) {
    BinaryWriter w;
    std::size_t next = 0;
    auto str = [&] { w.writeUInt(global[refs[next++]]); };
    const std::size_t records = state.records ? state.records->size() : 0;
    w.bytes.reserve(64 + records * 48);
    str();
    w.writeUInt(state.size);
    w.writeDouble(state.mtime);
    w.writeUInt(state.inode);
    w.writeUInt(state.consumed);
    const ScanCache::FileDiagnostics& d = state.diag;
    for (std::int64_t v :
         {d.usageLines, d.notUsageBearing, d.skippedZeroUsage, d.rejectedInvalidJSON,
          d.rejectedNoMessage, d.rejectedNoTimestamp, d.rejectedNoIdentity, d.longestLineBytes})
        w.writeInt(v);
    w.writeUInt(records);
    if (!state.records) return std::move(w.bytes);
    // The same, unchanged map visited again: the same order as when collecting.
    for (const auto& [key, r] : *state.records) {
        str();
        w.writeDouble(r.timestamp);
        for (int i = 0; i < 5; ++i)
            str();
        for (std::int64_t v : {r.input, r.output, r.cacheWrite5m, r.cacheWrite1h, r.cacheRead,
                               r.webSearch, r.webFetch})
            w.writeInt(v);
        w.writeBool(r.cacheWriteBreakdownAssumed);
        w.writeInt(r.sourceRank);
    }
    return std::move(w.bytes);
}

// Numbers the strings of all entries in the order one writer going through the
// entries in order would meet them, deduplicated across entries. Strings are split
// by hash over `parts` threads, each keeping the first entry to meet a string.
std::vector<std::string_view> numberStrings(std::vector<LocalStrings>& locals, std::size_t parts,
                                            std::size_t expected) {
    const std::size_t n = locals.size();
    auto partOf = [parts](std::size_t h) { return (h >> 40) % parts; };
    parallel::forEach(
        parts,
        [&](std::size_t p) {
            FlatIndex index(expected / parts + 16);
            std::vector<std::uint64_t> owners;
            owners.reserve(expected / parts + 16);
            for (std::size_t f = 0; f < n; ++f) {
                LocalStrings& l = locals[f];
                for (std::size_t j = 0; j < l.strings.size(); ++j) {
                    if (partOf(l.hashes[j]) != p) continue;
                    const std::uint64_t self = (static_cast<std::uint64_t>(f) << 32) | j;
                    auto [at, inserted] = index.tryEmplace(
                        l.strings[j], l.hashes[j], static_cast<std::uint32_t>(owners.size()));
                    if (inserted) owners.push_back(self);
                    l.owner[j] = owners[at];
                }
            }
        },
        parts);

    // Each entry's first meetings, numbered within the entry, then across entries.
    parallel::forEach(
        n,
        [&](std::size_t f) {
            LocalStrings& l = locals[f];
            for (std::size_t j = 0; j < l.strings.size(); ++j) {
                const bool first = l.owner[j] == ((static_cast<std::uint64_t>(f) << 32) | j);
                l.firstRank[j] = first ? l.firstCount++ : 0;
            }
        },
        parts);
    std::vector<std::uint32_t> base(n);
    std::uint64_t total = 0;
    for (std::size_t f = 0; f < n; ++f) {
        base[f] = static_cast<std::uint32_t>(total);
        total += locals[f].firstCount;
    }
    parallel::forEach(
        n,
        [&](std::size_t f) {
            LocalStrings& l = locals[f];
            l.global.resize(l.strings.size());
            for (std::size_t j = 0; j < l.strings.size(); ++j) {
                const auto of = static_cast<std::size_t>(l.owner[j] >> 32);
                const auto oj = static_cast<std::size_t>(l.owner[j] & 0xFFFFFFFFu);
                l.global[j] = base[of] + locals[of].firstRank[oj];
            }
        },
        parts);

    std::vector<std::string_view> table;
    table.reserve(static_cast<std::size_t>(total));
    for (std::size_t f = 0; f < n; ++f) {
        const LocalStrings& l = locals[f];
        for (std::size_t j = 0; j < l.strings.size(); ++j)
            if (l.owner[j] == ((static_cast<std::uint64_t>(f) << 32) | j))
                table.push_back(l.strings[j]);
    }
    return table;
}

} // namespace

std::vector<std::string> encodeCacheFileParts(const ScanCache::FileTable& table) {
    std::vector<const ScanCache::FileTable::value_type*> entries;
    entries.reserve(table.size());
    std::size_t records = 0;
    for (const auto& entry : table) {
        entries.push_back(&entry);
        records += entry.second.records ? entry.second.records->size() : 0;
    }
    const std::size_t workers =
        records < 8192 ? 1 : std::max(1u, std::thread::hardware_concurrency());

    // Each entry's strings, on several threads.
    std::vector<LocalStrings> locals(entries.size());
    parallel::forEach(
        entries.size(),
        [&](std::size_t i) {
            collectStrings(entries[i]->first, entries[i]->second, locals[i]);
            locals[i].owner.resize(locals[i].strings.size());
            locals[i].firstRank.resize(locals[i].strings.size());
        },
        workers);

    BinaryWriter w;
    w.strings = numberStrings(locals, workers, records + entries.size());

    // The entries, on several threads.
    parallel::forEach(
        entries.size(),
        [&](std::size_t i) {
            LocalStrings& l = locals[i];
            l.body = encodeEntry(entries[i]->second, l.refs, l.global);
            l.refs = {};
            l.global = {};
        },
        workers);

    // Header and string count, the strings in a few slices written on several
    // threads, the file count, then the entries.
    const std::size_t slices = std::min<std::size_t>(workers, w.strings.size() / 4096 + 1);
    std::vector<std::string> out(1 + slices + 1);
    BinaryWriter head;
    head.bytes.assign(magic);
    head.bytes.push_back(static_cast<char>(version));
    head.writeUInt(w.strings.size());
    out[0] = std::move(head.bytes);
    parallel::forEach(
        slices,
        [&](std::size_t k) {
            const std::size_t from = k * w.strings.size() / slices;
            const std::size_t to = (k + 1) * w.strings.size() / slices;
            BinaryWriter slice;
            std::size_t size = 0;
            for (std::size_t i = from; i < to; ++i)
                size += w.strings[i].size() + 2;
            slice.bytes.reserve(size);
            for (std::size_t i = from; i < to; ++i) {
                slice.writeUInt(w.strings[i].size());
                slice.bytes.append(w.strings[i]);
            }
            out[1 + k] = std::move(slice.bytes);
        },
        workers);
    BinaryWriter count;
    count.writeUInt(entries.size());
    out[1 + slices] = std::move(count.bytes);
    out.reserve(out.size() + entries.size());
    for (auto& l : locals)
        out.push_back(std::move(l.body));
    return out;
}

std::string encodeCacheFile(const ScanCache::FileTable& table) {
    auto parts = encodeCacheFileParts(table);
    std::size_t size = 0;
    for (const auto& p : parts)
        size += p.size();
    std::string out;
    out.reserve(size);
    for (const auto& p : parts)
        out.append(p);
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

} // namespace

std::optional<ScanCache::FileTable> decodeCacheFile(std::string_view bytes) {
    if (bytes.size() < 6 || bytes.substr(0, 4) != magic) return std::nullopt;
    BinaryReader r(bytes.substr(4));
    std::vector<EntrySpan> spans;
    // Agent ids repeat across records: each distinct one is classified once.
    // agentOf[string index] is 1 + its position in agents, 0 until classified.
    std::vector<AgentIdentity> agents;
    std::vector<std::uint32_t> agentOf;
    try {
        if (r.readUInt() != version) return std::nullopt;
        r.readStringTable();
        agentOf.resize(r.strings.size());

        // First pass: check everything and note where each file's records start.
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
            for (std::int64_t i = 0; i < e.recordCount; ++i) {
                const std::size_t a = readRecord(r, r.strings.size()).agent;
                if (agentOf[a] == 0) {
                    std::string_view raw = r.strings[a];
                    agents.push_back(raw.empty() ? AgentIdentity::mainSession()
                                                 : AgentIdentity::parse(raw));
                    agentOf[a] = static_cast<std::uint32_t>(agents.size());
                }
            }
            spans.push_back(std::move(e));
        }
    } catch (const BinaryReader::Failure&) {
        return std::nullopt;
    }

    // Second pass, on several threads: build each file's requests from the
    // checked bytes (the reads cannot fail any more).
    std::vector<std::shared_ptr<RequestMap>> sets(spans.size());
    std::size_t totalRecords = 0;
    for (const EntrySpan& e : spans)
        totalRecords += static_cast<std::size_t>(e.recordCount);
    parallel::forEach(
        spans.size(),
        [&](std::size_t i) {
            const EntrySpan& e = spans[i];
            BinaryReader rr(r.bytes);
            rr.offset = e.recordsAt;
            auto set = std::make_shared<RequestMap>();
            set->reserve(static_cast<std::size_t>(e.recordCount));
            for (std::int64_t k = 0; k < e.recordCount; ++k) {
                const RecordFields f = readRecord(rr, r.strings.size());
                UsageRecord u;
                u.timestamp = f.timestamp;
                u.model = r.strings[f.model];
                u.sessionId = r.strings[f.session];
                u.rawCwd = r.strings[f.cwd];
                u.sourceHome = r.strings[f.home];
                u.agent = agents[agentOf[f.agent] - 1];
                u.input = f.counts[0];
                u.output = f.counts[1];
                u.cacheWrite5m = f.counts[2];
                u.cacheWrite1h = f.counts[3];
                u.cacheRead = f.counts[4];
                u.webSearch = f.counts[5];
                u.webFetch = f.counts[6];
                u.cacheWriteBreakdownAssumed = f.assumed;
                u.sourceRank = f.rank;
                set->insert_or_assign(std::string(r.strings[f.key]), std::move(u));
            }
            sets[i] = std::move(set);
        },
        totalRecords < 8192 ? 1 : SIZE_MAX);

    ScanCache::FileTable table;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        spans[i].state.records = std::move(sets[i]);
        table.insert_or_assign(std::string(r.strings[spans[i].path]), std::move(spans[i].state));
    }
    return table;
}

} // namespace vantery
