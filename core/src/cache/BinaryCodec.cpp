#include "cache/BinaryCodec.hpp"

#include <limits>

namespace vantery {

// Eight bytes at a time: ten million strings are looked at in a load.
bool isAscii(std::string_view s) noexcept {
    std::uint64_t high = 0;
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        high |= word;
    }
    for (; i < s.size(); ++i)
        high |= static_cast<unsigned char>(s[i]);
    return (high & 0x8080808080808080ull) == 0;
}

std::uint64_t BinaryReader::readUInt() {
    std::uint64_t value = 0;
    const std::size_t used = decodeVarint(bytes.substr(offset), value);
    if (used == 0) throw Failure{DecodeError::truncated};
    offset += used;
    return value;
}

std::int64_t BinaryReader::readInt() {
    const std::uint64_t v = readUInt();
    if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        throw Failure{DecodeError::badInt};
    return static_cast<std::int64_t>(v);
}

double BinaryReader::readDouble() {
    if (remaining() < 8) throw Failure{DecodeError::truncated};
    const std::uint64_t bits = getLittleEndian(bytes.substr(offset));
    offset += 8;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

bool BinaryReader::readBool() {
    if (offset >= bytes.size()) throw Failure{DecodeError::truncated};
    return bytes[offset++] != 0;
}

} // namespace vantery
