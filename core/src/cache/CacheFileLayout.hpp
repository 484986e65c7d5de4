#pragma once
// The cache file's entries field by field, spelled once: the writer, the reader and the
// skipper each walk the same fields with a codec of their own.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "base/Hash128.hpp"
#include "cache/BinaryCodec.hpp"
#include "vantery/cache/CacheLocation.hpp"
#include "vantery/cache/ScanCache.hpp"
#include "vantery/model/LineCounters.hpp"
#include "vantery/model/RequestCounts.hpp"

namespace vantery::cachefile {

/// The format's version, after the magic. Bump it whenever what a file of this version
/// holds changes: the fields' order, shapes or codecs (layoutSignature below), or which
/// requests a scan keeps, so that files of older builds are read again once.
inline constexpr std::uint64_t version = 3;

/// After the last file entry: the number of bytes before the trailer, then their hash
/// (filePieces.hpp: the hash of the hashes of its pieces), low half first, each half as
/// 8 bytes little-endian. A file is taken only when both match.
inline constexpr std::size_t trailerBytes = 24;

/// The largest file whose places a load notes in four bytes, beside a flag.
inline constexpr std::uint64_t maxFileBytes = 0x7FFFFFFF;

/// The trailer of `length` bytes whose hash is `hash`.
inline std::string trailer(std::uint64_t length, hash128::Value hash) {
    std::string out;
    putLittleEndian(out, length);
    putLittleEndian(out, hash.lo);
    putLittleEndian(out, hash.hi);
    return out;
}

/// A file entry's fields before its records; strings as indexes into the string table.
struct EntryFields {
    std::uint64_t path = 0;
    std::uint64_t size = 0;
    double mtime = 0;
    std::uint64_t inode = 0;
    std::uint64_t consumed = 0;
    ScanCache::FileDiagnostics diag; ///< its counters in LineCounters::forEachField's order
    std::int64_t recordCount = 0;
};

/// One record entry (a request under its key); strings as indexes into the table.
struct RecordFields {
    std::uint64_t key = 0;
    double timestamp = 0;
    std::uint64_t model = 0, session = 0, cwd = 0, home = 0, agent = 0;
    RequestCounts counts; ///< in the file in RequestCounts::forEachField's order
    bool assumed = false;
    std::int64_t rank = 0;
};

/// The name of a counter, for the layout's signature; a counter not named here still
/// changes it (as "?").
template <class Counters>
using CounterNames = std::pair<std::int64_t Counters::*, std::string_view>[7];
inline constexpr CounterNames<LineCounters> lineCounterNames = {
    {&LineCounters::usageLines, "usageLines"},
    {&LineCounters::notUsageBearing, "notUsageBearing"},
    {&LineCounters::skippedZeroUsage, "skippedZeroUsage"},
    {&LineCounters::rejectedInvalidJSON, "rejectedInvalidJSON"},
    {&LineCounters::rejectedNoMessage, "rejectedNoMessage"},
    {&LineCounters::rejectedNoTimestamp, "rejectedNoTimestamp"},
    {&LineCounters::rejectedNoIdentity, "rejectedNoIdentity"}};
inline constexpr CounterNames<RequestCounts> requestCountNames = {
    {&RequestCounts::input, "input"},
    {&RequestCounts::output, "output"},
    {&RequestCounts::cacheWrite5m, "cacheWrite5m"},
    {&RequestCounts::cacheWrite1h, "cacheWrite1h"},
    {&RequestCounts::cacheRead, "cacheRead"},
    {&RequestCounts::webSearch, "webSearch"},
    {&RequestCounts::webFetch, "webFetch"}};
constexpr const CounterNames<LineCounters>& namesOf(std::int64_t LineCounters::*) {
    return lineCounterNames;
}
constexpr const CounterNames<RequestCounts>& namesOf(std::int64_t RequestCounts::*) {
    return requestCountNames;
}
template <class Counters> constexpr std::string_view fieldName(std::int64_t Counters::*m) {
    for (const auto& [member, name] : namesOf(m))
        if (member == m) return name;
    return "?";
}

/// Hands each field of a file entry's head to `io` with its name, in file order. A
/// codec offers str (a string index), uint, real (a double), integer (a signed field)
/// and flag.
template <class Entry, class Io> constexpr void eachEntryField(Entry& e, Io& io) {
    io.str("path", e.path);
    io.uint("size", e.size);
    io.real("mtime", e.mtime);
    io.uint("inode", e.inode);
    io.uint("consumed", e.consumed);
    LineCounters::forEachField([&](auto m) { io.integer(fieldName(m), e.diag.*m); });
    io.integer("longestLineBytes", e.diag.longestLineBytes);
    io.integer("recordCount", e.recordCount);
}

/// Hands each field of a record entry to `io`, in file order.
template <class Record, class Io> constexpr void eachRecordField(Record& r, Io& io) {
    io.str("key", r.key);
    io.real("timestamp", r.timestamp);
    io.str("model", r.model);
    io.str("session", r.session);
    io.str("cwd", r.cwd);
    io.str("home", r.home);
    io.str("agent", r.agent);
    RequestCounts::forEachField([&](auto m) { io.integer(fieldName(m), r.counts.*m); });
    io.flag("assumed", r.assumed);
    io.integer("rank", r.rank);
}

/// Writes fields with a BinaryWriter.
struct FieldWriter {
    BinaryWriter& w;
    void str(std::string_view, std::uint64_t i) { w.writeUInt(i); }
    void uint(std::string_view, std::uint64_t v) { w.writeUInt(v); }
    void real(std::string_view, double d) { w.writeDouble(d); }
    void integer(std::string_view, std::int64_t v) { w.writeInt(v); }
    void flag(std::string_view, bool b) { w.writeBool(b); }
};

/// Reads fields with a BinaryReader, every check of the format made (a string index
/// below `strings`, the table's size); throws its Failure.
struct FieldReader {
    BinaryReader& r;
    std::size_t strings;
    void str(std::string_view, std::uint64_t& i) {
        i = r.readUInt();
        if (i >= strings) throw BinaryReader::Failure{BinaryReader::DecodeError::badStringIndex};
    }
    void uint(std::string_view, std::uint64_t& v) { v = r.readUInt(); }
    void real(std::string_view, double& d) { d = r.readDouble(); }
    void integer(std::string_view, std::int64_t& v) { v = r.readInt(); }
    void flag(std::string_view, bool& b) { b = r.readBool(); }
};

/// Steps over fields by their shapes alone: a varint to its last byte, a double's eight
/// bytes, a flag's one. Running varints are stepped over together, eight bytes at a time
/// (ten million records are stepped over in a load): call settle() after the last field.
/// Running out of bytes leaves `at` at the end and `ok` false.
struct FieldSkipper {
    const unsigned char* p;
    std::size_t at, end;
    bool ok = true;
    std::size_t pending = 0; // varints not yet stepped over

    void settle() {
        constexpr std::uint64_t highBits = 0x8080808080808080ull;
        while (pending > 0 && end - at >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p + at, 8);
            if constexpr (std::endian::native == std::endian::big) word = byteSwapped(word);
            std::uint64_t lasts = ~word & highBits; // a varint's last byte has bit 7 clear
            // One bit a byte, summed into the top byte (std::popcount is a library call
            // on the baseline instruction set).
            const auto count =
                static_cast<std::size_t>(((lasts >> 7) * 0x0101010101010101ull) >> 56);
            if (count < pending) {
                pending -= count;
                at += 8;
                continue;
            }
            for (; pending > 1; --pending)
                lasts &= lasts - 1;
            at += static_cast<std::size_t>(std::countr_zero(lasts)) / 8 + 1;
            pending = 0;
        }
        for (; pending > 0; --pending) {
            while (at < end && (p[at] & 0x80) != 0)
                ++at;
            if (at == end) {
                ok = false;
                pending = 0;
                return;
            }
            ++at;
        }
    }
    void str(std::string_view, std::uint64_t) { ++pending; }
    void uint(std::string_view, std::uint64_t) { ++pending; }
    void integer(std::string_view, std::int64_t) { ++pending; }
    void real(std::string_view, double) {
        settle();
        if (end - at < 8) {
            ok = false;
            at = end;
        } else {
            at += 8;
        }
    }
    void flag(std::string_view, bool) {
        settle();
        if (at < end)
            ++at;
        else
            ok = false;
    }

  private:
    static constexpr std::uint64_t byteSwapped(std::uint64_t v) {
        std::uint64_t out = 0;
        for (int i = 0; i < 8; ++i, v >>= 8)
            out = (out << 8) | (v & 0xFF);
        return out;
    }
};

/// Counts the bytes a walk's fields take when each varint takes `varintBytes`: 1 at the
/// fewest, 10 at the most.
template <std::size_t varintBytes> struct FieldBytes {
    std::size_t bytes = 0;
    constexpr void str(std::string_view, std::uint64_t) { bytes += varintBytes; }
    constexpr void uint(std::string_view, std::uint64_t) { bytes += varintBytes; }
    constexpr void integer(std::string_view, std::int64_t) { bytes += varintBytes; }
    constexpr void real(std::string_view, double) { bytes += 8; }
    constexpr void flag(std::string_view, bool) { bytes += 1; }
};

/// Spells a walk's fields as "name:codec;" and hashes the text (64-bit FNV-1a), so that
/// a field added, removed, moved or read by another codec changes the result.
struct FieldSignature {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    constexpr void add(std::string_view name, char codec) {
        for (char c : name)
            mix(c);
        mix(':');
        mix(codec);
        mix(';');
    }
    constexpr void mix(char c) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    constexpr void str(std::string_view n, std::uint64_t) { add(n, 's'); }
    constexpr void uint(std::string_view n, std::uint64_t) { add(n, 'u'); }
    constexpr void integer(std::string_view n, std::int64_t) { add(n, 'i'); }
    constexpr void real(std::string_view n, double) { add(n, 'd'); }
    constexpr void flag(std::string_view n, bool) { add(n, 'b'); }
};
constexpr std::uint64_t layoutSignature() {
    EntryFields e;
    RecordFields r;
    FieldSignature s;
    eachEntryField(e, s);
    s.mix('|');
    eachRecordField(r, s);
    return s.hash;
}
// The layout that files of `version` hold. A change to the fields (or to the counters
// they walk) fails here: older programs would read such files wrongly, so bump the
// version with the new signature.
inline constexpr std::uint64_t layoutOfVersion3 = 0xc5268f659b7a0f68ull;
static_assert(version == 3 && layoutSignature() == layoutOfVersion3,
              "the cache file's layout changed: bump cachefile::version and its signature");

/// The fewest bytes a record entry takes, and the most.
constexpr std::size_t minRecordBytes() {
    RecordFields r;
    FieldBytes<1> m;
    eachRecordField(r, m);
    return m.bytes;
}
constexpr std::size_t maxRecordBytes() {
    RecordFields r;
    FieldBytes<10> m;
    eachRecordField(r, m);
    return m.bytes;
}
/// The most bytes an entry's fields (before its records) take.
constexpr std::size_t maxEntryBytes() {
    EntryFields e;
    FieldBytes<10> m;
    eachEntryField(e, m);
    return m.bytes;
}

} // namespace vantery::cachefile
