#pragma once
// The cache file's entries field by field, spelled once: the writer, the reader and the
// skipper each walk the same fields with a codec of their own.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cache/BinaryCodec.hpp"
#include "vantery/cache/CacheLocation.hpp"
#include "vantery/cache/ScanCache.hpp"
#include "vantery/model/LineCounters.hpp"
#include "vantery/model/RequestCounts.hpp"

namespace vantery::cachefile {

/// The format's version, after the magic.
inline constexpr std::uint64_t version = 2;

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
/// bytes, a flag's one. Running out of bytes leaves `at` at the end and `ok` false.
struct FieldSkipper {
    const unsigned char* p;
    std::size_t at, end;
    bool ok = true;
    void varint() {
        while (at < end)
            if ((p[at++] & 0x80) == 0) return;
        ok = false;
    }
    void str(std::uint64_t) { varint(); }
    void uint(std::uint64_t) { varint(); }
    void integer(std::int64_t) { varint(); }
    void real(double) {
        if (end - at < 8) {
            ok = false;
            at = end;
        } else {
            at += 8;
        }
    }
    void flag(bool) {
        if (at < end)
            ++at;
        else
            ok = false;
    }
};

/// Counts the fewest bytes a walk's fields can take.
struct FieldMinimum {
    std::size_t bytes = 0;
    constexpr void str(std::uint64_t) { bytes += 1; }
    constexpr void uint(std::uint64_t) { bytes += 1; }
    constexpr void integer(std::int64_t) { bytes += 1; }
    constexpr void real(double) { bytes += 8; }
    constexpr void flag(bool) { bytes += 1; }
};

/// The fewest bytes a record entry takes.
constexpr std::size_t minRecordBytes() {
    RecordFields r;
    FieldMinimum m;
    eachRecordField(r, m);
    return m.bytes;
}

} // namespace vantery::cachefile
