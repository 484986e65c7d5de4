#pragma once
// The cache file's building blocks: a writer and a bounds-checked reader of its varints,
// doubles and flags, and the one varint decoder and little-endian form they share.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vantery {

/// Appends `v` as eight bytes, least significant first.
inline void putLittleEndian(std::string& out, std::uint64_t v) {
    char bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    out.append(bytes, 8);
}
/// The eight bytes at the start of `in` (at least eight), least significant first.
inline std::uint64_t getLittleEndian(std::string_view in) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[i])) << (8 * i);
    return v;
}

/// The unsigned LEB128 varint at the start of `in`: its byte count, or 0 when it is cut
/// short or runs past its tenth byte, of which only the lowest bit counts (bit 63).
inline std::size_t decodeVarint(std::string_view in, std::uint64_t& value) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const std::size_t n = in.size() < 10 ? in.size() : 10;
    value = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (i == 9) {
            if (p[i] & 0x80) return 0;
            value |= static_cast<std::uint64_t>(p[i] & 0x01) << 63;
            return 10;
        }
        value |= static_cast<std::uint64_t>(p[i] & 0x7F) << (7 * i);
        if ((p[i] & 0x80) == 0) return i + 1;
    }
    return 0;
}

/// True when no byte of `s` has its high bit set.
bool isAscii(std::string_view s) noexcept;

/// Appends the fields of a cache file to `bytes`.
struct BinaryWriter {
    std::string bytes;

    // Inline, one append a field: a save writes tens of millions of them.
    void writeUInt(std::uint64_t v) {
        char out[10];
        std::size_t n = 0;
        while (v >= 0x80) {
            out[n++] = static_cast<char>((v & 0x7F) | 0x80);
            v >>= 7;
        }
        out[n++] = static_cast<char>(v);
        bytes.append(out, n);
    }
    /// A signed field: negative values are written as 0.
    void writeInt(std::int64_t v) { writeUInt(v < 0 ? 0 : static_cast<std::uint64_t>(v)); }
    void writeDouble(double d) {
        std::uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        putLittleEndian(bytes, bits);
    }
    void writeBool(bool b) { bytes.push_back(b ? '\x01' : '\x00'); }
};

/// A bounds-checked cursor over a cache file's bytes.
struct BinaryReader {
    enum class DecodeError { truncated, badString, badStringIndex, badInt };
    struct Failure {
        DecodeError error;
    };

    std::string_view bytes;
    std::size_t offset = 0;

    explicit BinaryReader(std::string_view b) : bytes(b) {}

    std::size_t remaining() const noexcept { return bytes.size() - offset; }
    /// Throw Failure on malformed input; never read out of bounds.
    std::uint64_t readUInt();
    std::int64_t readInt(); ///< at most 2^63 - 1
    double readDouble();
    bool readBool();
};

/// Largest number of strings a cache file may declare. Every request key is one, so this
/// bounds the history a cache can hold: well above any real one (a table of ten million
/// requests declares over ten million), while a damaged count still fails before any
/// reservation (each string takes at least its length byte, checked as it is read).
inline constexpr std::uint64_t maxCacheStrings = std::uint64_t{1} << 28;

} // namespace vantery
