#include "vantery/CacheFile.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

#include "vantery/Text.hpp"

namespace vantery {

namespace {

constexpr std::string_view magic = "VTC1";
constexpr std::uint64_t version = 2;
constexpr std::uint64_t maxInt =
    static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

// Smallest record encoding, used to cap reservations by what the remaining bytes can hold.
constexpr std::size_t minRecordBytes = 1 + 8 + 5 + 7 + 1 + 1;

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

const std::string& BinaryReader::readString() {
    std::uint64_t i = readUInt();
    if (i >= strings.size()) throw Failure{DecodeError::badStringIndex};
    return strings[static_cast<std::size_t>(i)];
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
        if (isAscii(raw) || text::isValidUtf8(raw))
            strings.emplace_back(raw);
        else
            strings.push_back(text::sanitizeUtf8(raw));
        offset += static_cast<std::size_t>(length);
    }
}

std::string encodeCacheFile(const ScanCache::FileTable& table) {
    BinaryWriter w;
    std::size_t records = 0;
    for (const auto& [path, state] : table)
        records += state.records ? state.records->size() : 0;
    w.bytes.reserve(16 + table.size() * 40 + records * 40);
    w.index = FlatIndex(records + table.size() + 64);
    w.strings.reserve(records + table.size() + 64);

    w.writeUInt(table.size());
    // std::map yields the entries in ascending path order.
    for (const auto& [path, state] : table) {
        w.writeString(path);
        w.writeUInt(state.size);
        w.writeDouble(state.mtime);
        w.writeUInt(state.inode);
        w.writeUInt(state.consumed);
        const ScanCache::FileDiagnostics& d = state.diag;
        for (std::int64_t v :
             {d.usageLines, d.notUsageBearing, d.skippedZeroUsage, d.rejectedInvalidJSON,
              d.rejectedNoMessage, d.rejectedNoTimestamp, d.rejectedNoIdentity, d.longestLineBytes})
            w.writeInt(v);
        if (!state.records) {
            w.writeUInt(0);
            continue;
        }
        w.writeUInt(state.records->size());
        for (const auto& [key, r] : *state.records) {
            w.writeString(key);
            w.writeDouble(r.timestamp);
            w.writeString(r.model);
            w.writeString(r.sessionId);
            w.writeString(r.rawCwd);
            w.writeString(r.sourceHome);
            w.writeString(r.agent.rawIdText());
            for (std::int64_t v : {r.input, r.output, r.cacheWrite5m, r.cacheWrite1h, r.cacheRead,
                                   r.webSearch, r.webFetch})
                w.writeInt(v);
            w.writeBool(r.cacheWriteBreakdownAssumed);
            w.writeInt(r.sourceRank);
        }
    }
    std::string header(magic);
    header.push_back(static_cast<char>(version));
    return w.finish(header);
}

std::optional<ScanCache::FileTable> decodeCacheFile(std::string_view bytes) {
    if (bytes.size() < 6 || bytes.substr(0, 4) != magic) return std::nullopt;
    BinaryReader r(bytes.substr(4));
    try {
        if (r.readUInt() != version) return std::nullopt;
        r.readStringTable();
        // Agent ids repeat across records: classify each distinct one once.
        std::vector<std::optional<AgentIdentity>> agents(r.strings.size());

        ScanCache::FileTable table;
        std::int64_t fileCount = r.readInt();
        for (std::int64_t f = 0; f < fileCount; ++f) {
            const std::string& path = r.readString();
            ScanCache::FileState state;
            state.size = r.readUInt();
            state.mtime = r.readDouble();
            state.inode = r.readUInt();
            state.consumed = r.readUInt();
            ScanCache::FileDiagnostics& d = state.diag;
            for (std::int64_t* v :
                 {&d.usageLines, &d.notUsageBearing, &d.skippedZeroUsage, &d.rejectedInvalidJSON,
                  &d.rejectedNoMessage, &d.rejectedNoTimestamp, &d.rejectedNoIdentity,
                  &d.longestLineBytes})
                *v = r.readInt();
            std::int64_t recordCount = r.readInt();
            auto records = std::make_shared<RequestMap>();
            records->reserve(static_cast<std::size_t>(std::min<std::uint64_t>(
                static_cast<std::uint64_t>(recordCount), r.remaining() / minRecordBytes)));
            for (std::int64_t i = 0; i < recordCount; ++i) {
                const std::string& key = r.readString();
                UsageRecord u;
                u.timestamp = r.readDouble();
                u.model = r.readString();
                u.sessionId = r.readString();
                u.rawCwd = r.readString();
                u.sourceHome = r.readString();
                std::uint64_t agentIndex = r.readUInt();
                if (agentIndex >= r.strings.size())
                    throw BinaryReader::Failure{BinaryReader::DecodeError::badStringIndex};
                auto& agent = agents[static_cast<std::size_t>(agentIndex)];
                if (!agent) {
                    const std::string& raw = r.strings[static_cast<std::size_t>(agentIndex)];
                    agent = raw.empty() ? AgentIdentity::mainSession() : AgentIdentity::parse(raw);
                }
                u.agent = *agent;
                for (std::int64_t* v : {&u.input, &u.output, &u.cacheWrite5m, &u.cacheWrite1h,
                                        &u.cacheRead, &u.webSearch, &u.webFetch})
                    *v = r.readInt();
                u.cacheWriteBreakdownAssumed = r.readBool();
                u.sourceRank = r.readInt();
                records->insert_or_assign(key, std::move(u));
            }
            state.records = std::move(records);
            table.insert_or_assign(path, std::move(state));
        }
        return table;
    } catch (const BinaryReader::Failure&) {
        return std::nullopt;
    }
}

} // namespace vantery
