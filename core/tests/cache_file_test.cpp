#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "SameFigures.hpp"
#include "TempDir.hpp"
#include "base/FileIO.hpp"
#include "base/Hash128.hpp"
#include "cache/BinaryCodec.hpp"
#include "cache/CacheFilePieces.hpp"
#include "cache/CacheFileReader.hpp"
#include "vantery/cache/CacheFile.hpp"
#include "vantery/cache/CacheLocation.hpp"
#include "vantery/cache/KeptRefresh.hpp"
#include "vantery/cache/ScanCache.hpp"

using namespace vantery;
using vantery::testing::TempDir;

namespace {

std::string hex(std::string_view bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty()) out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string uintBytes(std::uint64_t v) {
    BinaryWriter w;
    w.writeUInt(v);
    return w.bytes;
}

UsageRecord record(std::string model, AgentIdentity agent, std::int64_t rank) {
    UsageRecord r;
    r.timestamp = 1'759'672'987.25;
    r.model = std::move(model);
    r.sessionId = "s-1";
    r.rawCwd = "/w/repo";
    r.agent = std::move(agent);
    r.sourceHome = ".claude";
    r.input = 10;
    r.output = 250;
    r.cacheWrite5m = 1000;
    r.cacheWrite1h = 3;
    r.cacheRead = 1 << 20;
    r.webSearch = 2;
    r.webFetch = 1;
    r.cacheWriteBreakdownAssumed = true;
    r.sourceRank = rank;
    return r;
}

// A block of these requests, in this order, interned in `d`.
std::shared_ptr<const FileBlock>
blockOf(RequestDictionary& d, const std::vector<std::pair<std::string, UsageRecord>>& rows) {
    FileBlock::Builder b;
    for (const auto& [key, r] : rows)
        b.add(key, d.rowOf(r));
    return b.finish();
}

std::string encode(const CacheContent& c) {
    return encodeCacheFile(c.files, *c.dictionary);
}

// The request of `key` in the file at `path`.
UsageRecord at(const CacheContent& c, const std::string& path, std::string_view key) {
    const FileBlock& b = *c.files.at(path).block;
    for (std::size_t i = 0; i < b.size(); ++i)
        if (b.keyText(i) == key) return c.dictionary->record(b.row(i));
    ADD_FAILURE() << "no " << key << " in " << path;
    return {};
}

CacheContent sampleTable() {
    CacheContent t{{}, std::make_shared<RequestDictionary>()};
    auto a = blockOf(*t.dictionary,
                     {{"msg_1:req_1", record("claude-opus-4-5", AgentIdentity::mainSession(), 0)},
                      {"msg_2:req_2", record("claude-sonnet-4-5",
                                             AgentIdentity::parse("aplanner-0123456789abcdef"), 0)},
                      {"msg_3:req_3", record("unknown", AgentIdentity::anonymous("xyz"),
                                             std::numeric_limits<std::int64_t>::max())}});
    ScanCache::FileDiagnostics d{5, 1, 2, 3, 4, 5, 6, 70'000};
    t.files["/h/.claude/projects/a.jsonl"] = {4096, 1'759'672'987.123456, 1234567, 4000, a, d};
    t.files["/h/.claude/projects/b.jsonl"] = {std::numeric_limits<std::uint64_t>::max(),
                                              0,
                                              std::uint64_t(1) << 63,
                                              std::uint64_t(1) << 63,
                                              blockOf(*t.dictionary, {}),
                                              {}};
    return t;
}

void expectSameRecord(const UsageRecord& a, const UsageRecord& b) {
    EXPECT_EQ(a.timestamp, b.timestamp);
    EXPECT_EQ(a.model, b.model);
    EXPECT_EQ(a.sessionId, b.sessionId);
    EXPECT_EQ(a.rawCwd, b.rawCwd);
    EXPECT_EQ(a.agent, b.agent);
    EXPECT_EQ(a.sourceHome, b.sourceHome);
    EXPECT_EQ(fixtures::countsOf(a), fixtures::countsOf(b));
    EXPECT_EQ(a.cacheWriteBreakdownAssumed, b.cacheWriteBreakdownAssumed);
}

// The same files with the same requests in the same order.
void expectSameTable(const ScanCache::FileTable& a, const RequestDictionary& da,
                     const ScanCache::FileTable& b, const RequestDictionary& db) {
    ASSERT_EQ(a.size(), b.size());
    for (const auto& [path, s] : a) {
        auto it = b.find(path);
        ASSERT_NE(it, b.end()) << path;
        const auto& t = it->second;
        EXPECT_EQ(s.size, t.size);
        EXPECT_EQ(s.mtime, t.mtime);
        EXPECT_EQ(s.inode, t.inode);
        EXPECT_EQ(s.consumed, t.consumed);
        EXPECT_EQ(s.diag, t.diag);
        ASSERT_EQ(s.block->size(), t.block->size());
        for (std::size_t i = 0; i < s.block->size(); ++i) {
            EXPECT_EQ(s.block->keyText(i), t.block->keyText(i));
            expectSameRecord(da.record(s.block->row(i)), db.record(t.block->row(i)));
        }
    }
}
void expectSameTable(const CacheContent& a, const CacheContent& b) {
    expectSameTable(a.files, *a.dictionary, b.files, *b.dictionary);
}

// Bytes closed with the trailer that vouches for them.
std::string sealed(std::string bytes) {
    return bytes + cacheFileTrailer(bytes);
}

const std::string header("VTC1\x03", 5);

// A hand-built file: header, strings, then the body bytes, sealed.
std::string file(const std::vector<std::string>& strings, const std::string& body) {
    BinaryWriter w;
    w.bytes = header;
    w.writeUInt(strings.size());
    for (const auto& s : strings) {
        w.writeUInt(s.size());
        w.bytes += s;
    }
    return sealed(w.bytes + body);
}

} // namespace

TEST(CacheFileFormat, VarintsAreLittleEndianBase128) {
    EXPECT_EQ(hex(uintBytes(0)), "00");
    EXPECT_EQ(hex(uintBytes(127)), "7F");
    EXPECT_EQ(hex(uintBytes(128)), "80 01");
    EXPECT_EQ(hex(uintBytes(300)), "AC 02");
    EXPECT_EQ(hex(uintBytes(std::numeric_limits<std::uint64_t>::max())),
              "FF FF FF FF FF FF FF FF FF 01");
    EXPECT_EQ(uintBytes(std::numeric_limits<std::int64_t>::max()).size(), 9u);
}

TEST(CacheFileFormat, TenthVarintByteCountsOnlyItsLowestBit) {
    auto read = [](std::string bytes) { return BinaryReader(bytes).readUInt(); };
    std::string nine(9, '\x80');
    EXPECT_EQ(read(nine + '\x02'), 0u);
    EXPECT_EQ(read(nine + '\x03'), std::uint64_t(1) << 63);
    EXPECT_THROW(read(nine + '\x81'), BinaryReader::Failure);
    EXPECT_THROW(read(nine), BinaryReader::Failure);
    EXPECT_THROW(BinaryReader(nine + '\x03').readInt(), BinaryReader::Failure);
}

TEST(CacheFileFormat, EmptyTableIsSevenBytesAndTheTrailer) {
    std::string bytes = encodeCacheFile({}, RequestDictionary());
    EXPECT_EQ(bytes, sealed(std::string("VTC1\x03\x00\x00", 7)));
    auto t = decodeCacheFile(bytes);
    ASSERT_TRUE(t);
    EXPECT_TRUE(t->files.empty());
}

// The exact bytes of a small cache: what files written by any build must keep saying.
TEST(CacheFileFormat, GoldenBytesOfASmallCache) {
    CacheContent t{{}, std::make_shared<RequestDictionary>()};
    UsageRecord r;
    r.timestamp = 2.0;
    r.model = "m";
    r.sessionId = "s";
    r.rawCwd = "/w";
    r.sourceHome = "h";
    r.input = 1;
    r.output = 300;
    t.files["/a"] = {5,
                     1.5,
                     7,
                     4,
                     blockOf(*t.dictionary, {{"k", r}}),
                     ScanCache::FileDiagnostics{1, 0, 0, 0, 0, 0, 0, 9}};
    const std::string body =
        "56 54 43 31 03 "                         // magic, version
        "07 02 2F 61 01 6B 01 6D 01 73 02 2F 77 " // 7 strings: /a k m s /w
        "01 68 00 "                               // h, the main session
        "01 "                                     // one file
        "00 05 00 00 00 00 00 00 F8 3F 07 04 "    // /a, size, 1.5, inode, consumed
        "01 00 00 00 00 00 00 09 01 "             // counters, one record
        "01 00 00 00 00 00 00 00 40 "             // k, 2.0
        "02 03 04 05 06 "                         // m s /w h and no agent
        "01 AC 02 00 00 00 00 00 00 00";          // counts, flag, rank
    // The 67 bytes before it and the hash of their one piece's hash, as an implementation
    // of its own gives it.
    const std::string trailer = "43 00 00 00 00 00 00 00 "
                                "CB E5 E1 A3 BC 16 56 48 A4 9D 9A A3 62 57 71 39";
    EXPECT_EQ(hex(encode(t)), body + " " + trailer);
}

// The writer hashes the parts it hands out, the reader pieces of its own size.
TEST(CacheFileFormat, TheFileHashDoesNotDependOnHowTheBytesArePieced) {
    std::mt19937 rng(11);
    std::string bytes(3 * cachefile::pieceBytes + 1000, '\0');
    for (char& c : bytes)
        c = static_cast<char>(rng());
    cachefile::PieceHash whole;
    whole.add(bytes);
    for (int round = 0; round < 20; ++round) {
        cachefile::PieceHash parts;
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t n = std::min<std::size_t>(rng() % 20'000, bytes.size() - at);
            parts.add(std::string_view(bytes).substr(at, n));
            at += n;
        }
        EXPECT_TRUE(parts.finish() == whole.finish()) << round;
    }
}

TEST(CacheFileFormat, RoundTripsEveryField) {
    auto table = sampleTable();
    std::string bytes = encode(table);
    // The first string is the first file's path.
    EXPECT_EQ(bytes.substr(0, 7), std::string("VTC1\x03\x0E\x1B", 7)); // 14 strings, 27-byte path
    auto back = decodeCacheFile(bytes);
    ASSERT_TRUE(back);
    expectSameTable(table, *back);
    const auto named = at(*back, "/h/.claude/projects/a.jsonl", "msg_2:req_2").agent;
    EXPECT_EQ(named.kind(), AgentIdentity::Kind::named);
    EXPECT_EQ(named.name(), "planner");
    EXPECT_EQ(bytes[bytes.size() - 25], '\x00'); // the second file has no records
}

// A file that would pass the size a load takes is not written: refused before its
// entries when they cannot fit, else once the bytes pass it.
TEST(CacheFileFormat, AFileLargerThanALoadTakesIsNotWritten) {
    const CacheContent t = sampleTable();
    const std::string whole = encode(t);
    auto write = [&](std::uint64_t maxBytes) {
        std::uint64_t handedOn = 0;
        writeCacheFile(
            t.files, *t.dictionary, [&](std::string_view p) { handedOn += p.size(); }, false,
            nullptr, maxBytes);
        return handedOn;
    };
    EXPECT_EQ(write(whole.size()), whole.size());
    EXPECT_THROW(write(whole.size() - 1), CacheTooLarge);
    EXPECT_THROW(write(whole.size() / 2), CacheTooLarge);
}

TEST(CacheFileFormat, NegativeCountersAreSavedAsZero) {
    CacheContent t{{}, std::make_shared<RequestDictionary>()};
    UsageRecord r = record("m", {}, -5);
    r.input = -7;
    t.files["/p"] = {1, 1, 1, 1, blockOf(*t.dictionary, {{"k", r}}), {-1, 0, 0, 0, 0, 0, 0, -9}};
    auto back = decodeCacheFile(encode(t));
    ASSERT_TRUE(back);
    const auto& s = back->files.at("/p");
    EXPECT_EQ(s.diag.usageLines, 0);
    EXPECT_EQ(s.diag.longestLineBytes, 0);
    EXPECT_EQ(at(*back, "/p", "k").input, 0);
}

TEST(CacheFileFormat, RefusesShortForeignAndOtherVersions) {
    EXPECT_FALSE(decodeCacheFile(sealed(std::string("VTC1\x03", 5))));
    EXPECT_FALSE(decodeCacheFile(sealed(std::string("VTC2\x02\x00\x00", 7))));
    EXPECT_FALSE(decodeCacheFile(sealed(std::string("VTC1\x02\x00\x00", 7))));
    EXPECT_FALSE(decodeCacheFile(sealed(std::string("VTC1\x04\x00\x00", 7))));
    EXPECT_FALSE(decodeCacheFile(""));
    // The entries end where the trailer begins: junk, or the body again, is refused.
    EXPECT_FALSE(decodeCacheFile(sealed(std::string("VTC1\x03\x00\x00trailing", 15))));
    const CacheContent t = sampleTable();
    const std::string body = encodeCacheFile(t.files, *t.dictionary);
    const std::string before = body.substr(0, body.size() - 24);
    EXPECT_TRUE(decodeCacheFile(sealed(before)));
    EXPECT_FALSE(decodeCacheFile(sealed(before + before)));
    // A file of an earlier build, with no trailer.
    EXPECT_FALSE(decodeCacheFile(std::string("VTC1\x03\x00\x00", 7)));
}

TEST(CacheFileFormat, RefusesBadStringTables) {
    // More strings announced than any cache holds, and more than the bytes behind them.
    std::string tooMany = std::string("VTC1\x03", 5) + uintBytes((std::uint64_t{1} << 28) + 1);
    EXPECT_FALSE(decodeCacheFile(sealed(tooMany + std::string(64, '\0'))));
    EXPECT_FALSE(decodeCacheFile(
        sealed(std::string("VTC1\x03", 5) + uintBytes(5'000'000) + std::string(64, '\0'))));
    // A string longer than the remaining bytes, also with a length near 2^64.
    EXPECT_FALSE(decodeCacheFile(sealed(std::string("VTC1\x03\x01\x05"
                                                    "abc",
                                                    10))));
    EXPECT_FALSE(decodeCacheFile(
        sealed(std::string("VTC1\x03\x01", 6) + uintBytes(~std::uint64_t(0)) + "abc")));
    // A path index equal to the table's size.
    EXPECT_FALSE(decodeCacheFile(file({"p"}, std::string("\x01\x01", 2))));
    // A huge file count with nothing behind it: refused, nothing reserved up front.
    EXPECT_FALSE(decodeCacheFile(file({"p"}, uintBytes(std::numeric_limits<std::int64_t>::max()))));
    // A file count above 2^63 - 1 is not an int.
    EXPECT_FALSE(decodeCacheFile(file({}, uintBytes(std::uint64_t(1) << 63))));
}

TEST(CacheFileFormat, TellsWhetherAKeyIsInTwoFiles) {
    CacheContent t = sampleTable();
    auto back = decodeCacheFile(encode(t));
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->keysDistinct);
    // Empty keys never unify, so they may repeat; a key in a second file may not.
    const UsageRecord r = record("claude-opus-4-5", AgentIdentity::mainSession(), 0);
    t.files["/h/c.jsonl"] = {1, 1, 1, 1, blockOf(*t.dictionary, {{"", r}, {"", r}}), {}};
    t.files["/h/d.jsonl"] = {1, 1, 1, 1, blockOf(*t.dictionary, {{"", r}}), {}};
    back = decodeCacheFile(encode(t));
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->keysDistinct);
    t.files["/h/e.jsonl"] = {1, 1, 1, 1, blockOf(*t.dictionary, {{"msg_2:req_2", r}}), {}};
    back = decodeCacheFile(encode(t));
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->keysDistinct);
}

TEST(CacheFileFormat, InvalidUtf8InAStringBecomesReplacementCharacter) {
    CacheContent t{{}, std::make_shared<RequestDictionary>()};
    t.files["/p\xFF"] = {1, 1, 1, 1, blockOf(*t.dictionary, {}), {}};
    auto back = decodeCacheFile(encode(t));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->files.size(), 1u);
    EXPECT_EQ(back->files.begin()->first, "/p\xEF\xBF\xBD");
}

TEST(CacheFileFormat, LaterDuplicatePathOrKeyWins) {
    // Two entries for the path "p", the second with size 9.
    std::string entry1 = std::string("\x00\x01", 2) + std::string(8, '\0') +
                         std::string("\x00\x00", 2) + std::string(8, '\0') + '\x00';
    std::string entry2 = std::string("\x00\x09", 2) + std::string(8, '\0') +
                         std::string("\x00\x00", 2) + std::string(8, '\0') + '\x00';
    auto t = decodeCacheFile(file({"p"}, "\x02" + entry1 + entry2));
    ASSERT_TRUE(t);
    ASSERT_EQ(t->files.size(), 1u);
    EXPECT_EQ(t->files.at("p").size, 9u);
}

TEST(CacheFileFormat, EveryTruncationFailsAndFlippedBytesNeverCrash) {
    std::string bytes = encode(sampleTable());
    for (std::size_t n = 0; n < bytes.size(); ++n)
        EXPECT_FALSE(decodeCacheFile(std::string_view(bytes).substr(0, n))) << "length " << n;
    std::mt19937 rng(7);
    for (int i = 0; i < 20'000; ++i) {
        std::string damaged = bytes;
        int flips = 1 + static_cast<int>(rng() % 4);
        for (int f = 0; f < flips; ++f)
            damaged[rng() % damaged.size()] ^= static_cast<char>(1 + rng() % 255);
        (void)decodeCacheFile(damaged); // must not crash or read out of bounds
    }
}

// MARK: - The cache object's file

TEST(ScanCacheFile, SavesPrivatelyAndLoadsBack) {
    TempDir dir;
    std::string path = dir / "scan-cache.v2.bin";
    ScanCache empty(path);
    empty.save();
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 7 + 24);
    ScanCache other(path);
    EXPECT_TRUE(other.load());
    EXPECT_EQ(other.snapshot().size(), 0u);
    EXPECT_EQ(other.cachePath(), path);
}

// Keys left in the loaded file are read back through a window: short keys many to a
// read, one longer than the window whole, an invalid one repaired and held instead.
TEST(ScanCacheFile, KeysOfEveryLengthComeBackFromTheLoadedFile) {
    TempDir dir;
    std::string path = dir / "cache.bin";
    CacheContent t{{}, std::make_shared<RequestDictionary>()};
    std::vector<std::pair<std::string, UsageRecord>> rows;
    const std::string huge(3 << 20, 'k');
    for (int i = 0; i < 5000; ++i)
        rows.push_back({"msg_" + std::to_string(i) + ":req", record("m", AgentIdentity(), i)});
    rows.push_back({huge, record("m", AgentIdentity(), 1)});
    rows.push_back({std::string("bad\xff:key"), record("m", AgentIdentity(), 2)});
    rows.push_back({"last:key", record("m", AgentIdentity(), 3)});
    t.files["/h/.claude/projects/a.jsonl"] = {1, 1, 1, 1, blockOf(*t.dictionary, rows), {}};
    std::ofstream(path, std::ios::binary) << encode(t);

    ScanCache cache(path);
    ASSERT_TRUE(cache.load());
    cache.save(); // every key read back from the file just replaced
    std::ifstream in(path, std::ios::binary);
    auto back = decodeCacheFile(std::string(std::istreambuf_iterator<char>(in), {}));
    ASSERT_TRUE(back);
    const FileBlock& b = *back->files.begin()->second.block;
    ASSERT_EQ(b.size(), rows.size());
    EXPECT_EQ(b.keyText(0), "msg_0:req");
    EXPECT_EQ(b.keyText(4999), "msg_4999:req");
    EXPECT_EQ(b.keyText(5000), huge);
    EXPECT_EQ(b.keyText(5001), "bad\uFFFD:key");
    EXPECT_EQ(b.keyText(5002), "last:key");
}

TEST(ScanCacheFile, SaveIntoAMissingFolderThrowsAndLeavesNoTemporaryFile) {
    TempDir dir;
    ScanCache c(dir / "missing/scan-cache.v2.bin");
    EXPECT_THROW(c.save(), std::system_error);
    EXPECT_FALSE(c.load());
}

TEST(ScanCacheFile, EveryTruncatedFileFailsToLoadAndLeavesTheTableUntouched) {
    TempDir dir;
    std::string path = dir / "cache.bin";
    std::string bytes = encode(sampleTable());
    std::ofstream(path, std::ios::binary) << bytes;
    ScanCache cache(path);
    ASSERT_TRUE(cache.load());
    const auto before = cache.snapshot();
    const auto dictionary = cache.dictionary();
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes.substr(0, n);
        EXPECT_FALSE(cache.load()) << "length " << n;
    }
    expectSameTable(before, *dictionary, cache.snapshot(), *cache.dictionary());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    EXPECT_TRUE(cache.load());
}

TEST(ScanCacheFile, DefaultLocationFollowsThePlatformRules) {
    auto env = [](std::map<std::string, std::string> vars) {
        return [vars](const char* name) -> std::optional<std::string> {
            auto it = vars.find(name);
            if (it == vars.end()) return std::nullopt;
            return it->second;
        };
    };
#if defined(__APPLE__)
    EXPECT_EQ(cachefile::defaultPath(env({{"HOME", "/Users/u"}})),
              "/Users/u/Library/Application Support/ro.kelvora.vantery/scan-cache.v2.bin");
#else
    EXPECT_EQ(cachefile::defaultPath(env({{"HOME", "/home/u"}})),
              "/home/u/.local/share/ro.kelvora.vantery/scan-cache.v2.bin");
    EXPECT_EQ(cachefile::defaultPath(env({{"HOME", "/home/u"}, {"XDG_DATA_HOME", "/data"}})),
              "/data/ro.kelvora.vantery/scan-cache.v2.bin");
    EXPECT_EQ(cachefile::defaultPath(env({{"HOME", "/home/u"}, {"XDG_DATA_HOME", "rel"}})),
              "/home/u/.local/share/ro.kelvora.vantery/scan-cache.v2.bin");
    EXPECT_EQ(cachefile::defaultPath(env({{"HOME", "/home/u"}, {"XDG_DATA_HOME", ""}})),
              "/home/u/.local/share/ro.kelvora.vantery/scan-cache.v2.bin");
#endif
    // VANTERY_CACHE_PATH wins when not empty, "~" expanded.
    EXPECT_EQ(cachefile::location(env({{"HOME", "/home/u"}, {"VANTERY_CACHE_PATH", "~/c.bin"}})),
              "/home/u/c.bin");
    EXPECT_EQ(cachefile::location(env({{"HOME", "/home/u"}, {"VANTERY_CACHE_PATH", ""}})),
              cachefile::defaultPath(env({{"HOME", "/home/u"}})));
}

// Large enough for the encoder and decoder to split the work over threads.
TEST(CacheFileFormat, LargeTableKeepsFirstMetStringOrderAndRoundTrips) {
    CacheContent table{{}, std::make_shared<RequestDictionary>()};
    std::mt19937 rng(11);
    for (int f = 0; f < 40; ++f) {
        std::vector<std::pair<std::string, UsageRecord>> set;
        for (int i = 0; i < 400; ++i) {
            UsageRecord r = record(f % 3 ? "claude-opus-4-5" : "claude-haiku-4-5",
                                   i % 7 ? AgentIdentity::mainSession()
                                         : AgentIdentity::parse("aplanner-0123456789abcdef"),
                                   f);
            r.sessionId = "session-" + std::to_string(f / 4);
            r.input = static_cast<std::int64_t>(rng() % 100000);
            // Keys shared between neighbouring files, as with resumed sessions.
            set.emplace_back("msg_" + std::to_string(f * 300 + i) + ":req", r);
        }
        table.files["/h/projects/f" + std::to_string(1000 + f) + ".jsonl"] = {
            static_cast<std::uint64_t>(f), 1.5, 7, 3, blockOf(*table.dictionary, set),
            {f, 0, 0, 0, 0, 0, 0, 0}};
    }
    std::string bytes = encode(table);
    auto back = decodeCacheFile(bytes);
    ASSERT_TRUE(back);
    expectSameTable(table, *back);

    // Walk the body: every string index is at most one past the largest seen so far.
    BinaryReader r(std::string_view(bytes).substr(4));
    ASSERT_EQ(r.readUInt(), 3u);
    const std::uint64_t strings = r.readUInt();
    for (std::uint64_t i = 0; i < strings; ++i) {
        const auto length = static_cast<std::size_t>(r.readUInt());
        if (i == 0) {
            EXPECT_EQ(r.bytes.substr(r.offset, length), "/h/projects/f1000.jsonl");
        }
        r.offset += length;
    }
    std::int64_t nextNew = 0;
    auto str = [&] {
        auto i = static_cast<std::int64_t>(r.readUInt());
        EXPECT_LE(i, nextNew);
        nextNew = std::max(nextNew, i + 1);
    };
    std::int64_t files = r.readInt();
    for (std::int64_t f = 0; f < files; ++f) {
        str();
        r.readUInt();
        r.readDouble();
        r.readUInt();
        r.readUInt();
        for (int i = 0; i < 8; ++i)
            r.readInt();
        std::int64_t n = r.readInt();
        for (std::int64_t k = 0; k < n; ++k) {
            str();
            r.readDouble();
            for (int i = 0; i < 5; ++i)
                str();
            for (int i = 0; i < 7; ++i)
                r.readInt();
            r.readBool();
            r.readInt();
        }
    }
    EXPECT_EQ(nextNew, static_cast<std::int64_t>(strings));
    EXPECT_EQ(r.remaining(), 24u); // the trailer
}

TEST(ScanCacheFile, ConcurrentSavesNeverLeaveATornFile) {
    TempDir dir;
    const std::string path = dir / "scan-cache.v2.bin";
    // Two programs with different tables save the same file over and over while a
    // third loads it: every load sees one whole table or the other.
    auto tableA = sampleTable();
    CacheContent tableB{{}, std::make_shared<RequestDictionary>()};
    std::vector<std::pair<std::string, UsageRecord>> set;
    for (int i = 0; i < 3000; ++i)
        set.emplace_back("k" + std::to_string(i), record("m", {}, i));
    tableB.files["/other/path.jsonl"] = {1, 2, 3, 4, blockOf(*tableB.dictionary, set), {}};
    ScanCache writerA(path), writerB(path);
    { std::ofstream(path, std::ios::binary) << encode(tableA); }
    ASSERT_TRUE(writerA.load());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << encode(tableB);
    ASSERT_TRUE(writerB.load());

    std::atomic<bool> stop{false};
    std::atomic<int> loads{0}, failures{0};
    std::thread reader([&] {
        ScanCache r(path);
        while (!stop) {
            if (!r.load()) {
                failures++;
                continue;
            }
            auto n = r.snapshot().size();
            if (n != tableA.files.size() && n != tableB.files.size()) failures++;
            loads++;
        }
    });
    std::thread t1([&] {
        for (int i = 0; i < 40; ++i)
            writerA.save();
    });
    std::thread t2([&] {
        for (int i = 0; i < 40; ++i)
            writerB.save();
    });
    t1.join();
    t2.join();
    stop = true;
    reader.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_GT(loads.load(), 0);
    // No temporary file is left beside the cache.
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        entries += e.path().filename().string().starts_with(".");
    EXPECT_EQ(entries, 0);
}

TEST(ScanCacheFile, DefaultLocationFolderIsCreatedPrivate) {
    TempDir dir;
    std::string data = dir / "data";
    ScanCache cache([&](const char* name) -> std::optional<std::string> {
        if (std::string_view(name) == "HOME") return dir.path();
        if (std::string_view(name) == "XDG_DATA_HOME") return data;
        return std::nullopt;
    });
#if defined(__APPLE__)
    const std::string folder = dir / "Library/Application Support/ro.kelvora.vantery";
#else
    const std::string folder = data + "/ro.kelvora.vantery";
#endif
    EXPECT_EQ(cache.cachePath(), folder + "/scan-cache.v2.bin");
    EXPECT_FALSE(std::filesystem::exists(folder)) << "made only once the location is checked";
    EXPECT_TRUE(refreshAndKeep(cache, {}).saved);
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    cache.save();
    EXPECT_TRUE(cache.load());
}

namespace {

// A table of a few pieces whose every request has model `model` and `output` tokens.
CacheContent uniformTable(const std::string& model, std::int64_t output) {
    CacheContent t{{}, std::make_shared<RequestDictionary>()};
    for (int f = 0; f < 8; ++f) {
        std::vector<std::pair<std::string, UsageRecord>> rows;
        for (int i = 0; i < 300; ++i) {
            UsageRecord r = record(model, AgentIdentity::mainSession(), f);
            r.output = output;
            rows.emplace_back("msg_" + std::to_string(f * 1000 + i) + ":req", r);
        }
        t.files["/h/f" + std::to_string(f) + ".jsonl"] = {1, 1, 1, 1, blockOf(*t.dictionary, rows),
                                                          {}};
    }
    return t;
}

// "model output" of every request, in one line: which table a load gave, or a mix.
std::string figures(const CacheContent& c) {
    std::map<std::string, std::size_t> seen;
    for (const auto& [path, s] : c.files)
        for (std::size_t i = 0; i < s.block->size(); ++i) {
            const UsageRecord r = c.dictionary->record(s.block->row(i));
            ++seen[r.model + " " + std::to_string(r.output)];
        }
    std::string out;
    for (const auto& [what, n] : seen)
        out += what + " x" + std::to_string(n) + ";";
    return out;
}

} // namespace

// While a file is loaded, another save renames its file over it and a program rewrites
// the loaded file in place with other figures in as many bytes, its times set back.
// Wherever among the reads that lands, the load gives the old figures, the new ones
// or nothing, never a mix; landing after the hash was checked, nothing.
TEST(ScanCacheFile, AFileRewrittenInPlaceWhileItIsReadNeverLoadsMixed) {
    const CacheContent before = uniformTable("model-a", 300), after = uniformTable("model-b", 301);
    const std::string old = encode(before), rewritten = encode(after);
    ASSERT_EQ(old.size(), rewritten.size());
    ASSERT_GT(old.size(), 4 * cachefile::pieceBytes);
    TempDir dir;
    const std::string path = dir / "scan-cache.bin", other = dir / "other.bin";
    int loadedNothing = 0;
    for (int at = 0; at < 16; ++at) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << old;
        struct stat was {};
        ASSERT_EQ(::stat(path.c_str(), &was), 0);
        const int fd = ::open(path.c_str(), O_RDWR);
        ASSERT_GE(fd, 0);
        int reads = 0;
        const cachefile::ReadAt readAt = [&](std::uint64_t from, char* out, std::size_t n) {
            if (reads++ == at) {
                std::ofstream(other, std::ios::binary | std::ios::trunc) << old;
                EXPECT_EQ(std::rename(other.c_str(), path.c_str()), 0);
                EXPECT_EQ(::pwrite(fd, rewritten.data(), rewritten.size(), 0),
                          static_cast<ssize_t>(rewritten.size()));
                const struct timespec times[2] = {was.st_atim, was.st_mtim};
                EXPECT_EQ(::futimens(fd, times), 0);
            }
            return fileio::readAt(fd, out, n, from) == static_cast<long long>(n);
        };
        const auto got = decodeCacheFileAt(readAt, old.size(), nullptr);
        ::close(fd);
        if (!got) {
            ++loadedNothing;
            continue;
        }
        const std::string f = figures(*got);
        EXPECT_TRUE(f == figures(before) || f == figures(after))
            << "rewritten at read " << at << ": " << f;
        // Rewritten before the trailer was read: the new file, whole; after: nothing.
        EXPECT_EQ(f, figures(at == 0 ? after : before)) << at;
        EXPECT_TRUE(at == 0 || at >= reads) << "loaded though rewritten at read " << at;
    }
    EXPECT_GT(loadedNothing, 3);
}

// A file whose hash is wrong is refused after one reading of its bytes, before any of
// them is parsed: the entries it claims cost nothing.
TEST(CacheFileFormat, AWrongHashIsRefusedBeforeTheContentIsRead) {
    std::string body;
    for (int f = 0; f < 100'000; ++f)
        body += std::string("\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
                            "\x00\x00\x00\x00\x00",
                            21); // an empty entry
    const std::string good = file({"p"}, uintBytes(100'000) + body);
    std::string bad = good;
    bad[bad.size() - 1] ^= 1; // the trailer's hash
    for (const std::string* bytes : {&good, static_cast<const std::string*>(&bad)}) {
        std::uint64_t read = 0;
        const cachefile::ReadAt readAt = [&](std::uint64_t at, char* out, std::size_t n) {
            read += n;
            std::memcpy(out, bytes->data() + at, n);
            return true;
        };
        const bool loaded = decodeCacheFileAt(readAt, bytes->size(), nullptr).has_value();
        EXPECT_EQ(loaded, bytes == &good);
        // The trailer and one pass over the rest when refused; a load reads more.
        EXPECT_EQ(read <= bytes->size(), bytes == &bad) << read;
    }
}
