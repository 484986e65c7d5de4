#pragma once
// The cache file's entries field by field, spelled once: the writer, the reader and the
// skipper each walk the same fields with a codec of their own.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/Hash128.hpp"
#include "cache/BinaryCodec.hpp"
#include "vantery/cache/CacheLocation.hpp"
#include "vantery/cache/ScanCache.hpp"
#include "vantery/model/LineCounters.hpp"
#include "vantery/model/RequestCounts.hpp"

namespace vantery::cachefile {

/// The format's version, after the magic.
inline constexpr std::uint64_t version = 2;

/// After the last file entry: the number of bytes before the trailer, then the 128-bit
/// hash of those bytes (low half first), each half as 8 bytes little-endian. A file is
/// taken only when both match, so that damage anywhere is seen before a record is used.
inline constexpr std::size_t trailerBytes = 24;

inline void putLittleEndian(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline std::uint64_t getLittleEndian(std::string_view in) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[i])) << (8 * i);
    return v;
}

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

/// Hands each field of a file entry's head to `io`, in file order. A codec offers
/// str (a string index), uint, real (a double), integer (a signed field) and flag.
template <class Entry, class Io> constexpr void eachEntryField(Entry& e, Io& io) {
    io.str(e.path);
    io.uint(e.size);
    io.real(e.mtime);
    io.uint(e.inode);
    io.uint(e.consumed);
    LineCounters::forEachField([&](auto m) { io.integer(e.diag.*m); });
    io.integer(e.diag.longestLineBytes);
    io.integer(e.recordCount);
}

/// Hands each field of a record entry to `io`, in file order.
template <class Record, class Io> constexpr void eachRecordField(Record& r, Io& io) {
    io.str(r.key);
    io.real(r.timestamp);
    io.str(r.model);
    io.str(r.session);
    io.str(r.cwd);
    io.str(r.home);
    io.str(r.agent);
    RequestCounts::forEachField([&](auto m) { io.integer(r.counts.*m); });
    io.flag(r.assumed);
    io.integer(r.rank);
}

/// Writes fields with a BinaryWriter.
struct FieldWriter {
    BinaryWriter& w;
    void str(std::uint64_t i) { w.writeUInt(i); }
    void uint(std::uint64_t v) { w.writeUInt(v); }
    void real(double d) { w.writeDouble(d); }
    void integer(std::int64_t v) { w.writeInt(v); }
    void flag(bool b) { w.writeBool(b); }
};

/// Reads fields with a BinaryReader, every check of the format made (a string index
/// below `strings`, the table's size); throws its Failure.
struct FieldReader {
    BinaryReader& r;
    std::size_t strings;
    void str(std::uint64_t& i) {
        i = r.readUInt();
        if (i >= strings) throw BinaryReader::Failure{BinaryReader::DecodeError::badStringIndex};
    }
    void uint(std::uint64_t& v) { v = r.readUInt(); }
    void real(double& d) { d = r.readDouble(); }
    void integer(std::int64_t& v) { v = r.readInt(); }
    void flag(bool& b) { b = r.readBool(); }
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
    void str(std::uint64_t) { ++pending; }
    void uint(std::uint64_t) { ++pending; }
    void integer(std::int64_t) { ++pending; }
    void real(double) {
        settle();
        if (end - at < 8) {
            ok = false;
            at = end;
        } else {
            at += 8;
        }
    }
    void flag(bool) {
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
    constexpr void str(std::uint64_t) { bytes += varintBytes; }
    constexpr void uint(std::uint64_t) { bytes += varintBytes; }
    constexpr void integer(std::int64_t) { bytes += varintBytes; }
    constexpr void real(double) { bytes += 8; }
    constexpr void flag(bool) { bytes += 1; }
};

/// Counts the fields a walk hands over.
struct FieldCount {
    std::size_t fields = 0;
    constexpr void str(std::uint64_t) { ++fields; }
    constexpr void uint(std::uint64_t) { ++fields; }
    constexpr void integer(std::int64_t) { ++fields; }
    constexpr void real(double) { ++fields; }
    constexpr void flag(bool) { ++fields; }
};
constexpr std::size_t entryFieldCount() {
    EntryFields e;
    FieldCount c;
    eachEntryField(e, c);
    return c.fields;
}
constexpr std::size_t recordFieldCount() {
    RecordFields r;
    FieldCount c;
    eachRecordField(r, c);
    return c.fields;
}
// A field added to the counters (or to the walks) changes what files of this version
// hold: older programs would read them wrongly. Bump the version with the layout.
static_assert(version == 2 && entryFieldCount() == 14 && recordFieldCount() == 16,
              "the cache file's layout changed: bump cachefile::version and these counts");

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
