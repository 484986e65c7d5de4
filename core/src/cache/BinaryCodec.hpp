#pragma once
// The cache file's building blocks: an interning writer and a bounds-checked reader
// of its varints, doubles and string table.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/FlatIndex.hpp"

namespace vantery {

/// Builds the body of a cache file, every string interned once.
struct BinaryWriter {
    std::string bytes;
    FlatIndex index; ///< views into strings the caller keeps alive
    std::vector<std::string_view> strings;

    /// The index of s, interning it when new. s must outlive the writer.
    std::uint32_t intern(std::string_view s);
    void writeUInt(std::uint64_t v);
    /// A signed field: negative values are written as 0.
    void writeInt(std::int64_t v) { writeUInt(v < 0 ? 0 : static_cast<std::uint64_t>(v)); }
    void writeDouble(double d);
    void writeBool(bool b) { bytes.push_back(b ? '\x01' : '\x00'); }
    void writeString(std::string_view s) { writeUInt(intern(s)); }
    /// header + string table + body.
    std::string finish(std::string_view header) const;
};

/// A bounds-checked cursor over the bytes after the magic.
struct BinaryReader {
    enum class DecodeError { truncated, badString, badStringIndex, badInt };
    struct Failure {
        DecodeError error;
    };

    std::string_view bytes;
    std::size_t offset = 0;
    /// Where each string of the table starts in bytes (at its length); repairedFlag
    /// marks one whose invalid UTF-8 was replaced, its text then in `repaired`. Four
    /// bytes a string: a table of ten million keys is read with 40 MB beside it.
    std::vector<std::uint32_t> stringAt;
    std::unordered_map<std::uint32_t, std::string> repaired;
    static constexpr std::uint32_t repairedFlag = 0x80000000u;
    /// Largest body whose offsets stringAt can hold.
    static constexpr std::size_t maxBytes = repairedFlag - 1;

    explicit BinaryReader(std::string_view b) : bytes(b) {}

    std::size_t remaining() const noexcept { return bytes.size() - offset; }
    /// Throw Failure on malformed input; never read out of bounds.
    std::uint64_t readUInt();
    std::int64_t readInt(); ///< at most 2^63 - 1
    double readDouble();
    bool readBool();
    std::string_view readString(); ///< an index into the table
    std::size_t readStringIndex(); ///< a checked index into the table
    /// Reads the table; throws Failure when the body is larger than maxBytes.
    void readStringTable();
    /// The text of string i of the table read.
    std::string_view string(std::size_t i) const;
    bool isRepaired(std::size_t i) const noexcept { return (stringAt[i] & repairedFlag) != 0; }
};

/// Largest number of strings a cache file may declare. Every request key is one, so this
/// bounds the history a cache can hold: well above any real one (a table of ten million
/// requests declares over ten million), while a damaged count still fails before any
/// reservation (each string takes at least its length byte, checked as it is read).
inline constexpr std::uint64_t maxCacheStrings = std::uint64_t{1} << 28;

} // namespace vantery
