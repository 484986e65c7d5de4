#include "cache/BinaryCodec.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

#include "vantery/base/Text.hpp"

namespace vantery {

namespace {

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

} // namespace vantery
