// A cache file is taken whole or not at all: damage anywhere, even damage that still
// decodes, leaves it unloaded, and the next refresh reads every transcript again.
#include <gtest/gtest.h>

#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

#include "TempDir.hpp"
#include "UsageLines.hpp"
#include "vantery/cache/KeptRefresh.hpp"
#include "vantery/cache/ScanCache.hpp"

using namespace vantery;
using namespace vantery::testing;

namespace {

constexpr int transcripts = 30, requestsEach = 40;

// A home of a few dozen transcripts, every request in one file only.
void fill(const TempHome& home) {
    for (int f = 0; f < transcripts; ++f) {
        std::string lines;
        for (int i = 0; i < requestsEach; ++i)
            lines += usageLine(f * requestsEach + i, {10 + i, 20 + f}, i) + "\n";
        home.transcript("p/f" + std::to_string(f) + ".jsonl", lines);
    }
}

// The cache's requests are those of a full scan, field for field.
void expectFullScan(const ScanCache& cache, const std::vector<SourceHome>& homes) {
    const RequestMap full = fullScan(homes);
    const auto dictionary = cache.dictionary();
    std::size_t seen = 0;
    for (const auto& [path, state] : cache.snapshot())
        for (std::size_t i = 0; i < state.block->size(); ++i, ++seen) {
            auto it = full.find(state.block->keyText(i));
            ASSERT_NE(it, full.end()) << state.block->keyText(i);
            EXPECT_TRUE(sameButRank(dictionary->record(state.block->row(i)), it->second));
        }
    EXPECT_EQ(seen, full.size());
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The home filled and a first scan of it saved in its cache file.
struct SavedHome {
    TempHome home;
    std::vector<SourceHome> homes;
    std::string path;
    SavedHome() : path(home / "scan-cache.v2.bin") {
        fill(home);
        homes = SourceHome::defaults(home.path());
        ScanCache first(path);
        first.refresh(homes);
        first.save();
    }
};

} // namespace

TEST(CacheFileDamage, ADamagedFileIsNotLoadedAndTheNextRefreshEqualsAFullScan) {
    const SavedHome saved;
    const auto& homes = saved.homes;
    const std::string& path = saved.path;
    const std::string good = fileContent(path);
    ASSERT_GT(good.size(), 10'000u);

    const std::vector<std::pair<std::string, std::function<void(std::string&)>>> damages = {
        {"last 1% zeroed", [](std::string& b) { std::fill(b.end() - b.size() / 100, b.end(), 0); }},
        // The lowest bit of a byte among the records: most such flips still decode.
        {"a byte flipped among the records", [](std::string& b) { b[b.size() * 3 / 4] ^= 1; }},
        {"cut and grown back to its size",
         [](std::string& b) { std::fill(b.begin() + b.size() / 2, b.end(), 0); }},
        {"bytes appended", [](std::string& b) { b += "more"; }},
        // As earlier builds wrote it: the same layout, without the trailer.
        {"no trailer", [](std::string& b) { b.resize(b.size() - 24); }},
    };
    for (const auto& [name, damage] : damages) {
        SCOPED_TRACE(name);
        std::string bytes = good;
        damage(bytes);
        writeFile(path, bytes);
        ScanCache cache(path);
        EXPECT_FALSE(cache.load());
        const auto r = cache.refresh(homes);
        EXPECT_EQ(r.stats.filesNew, transcripts); // every transcript read again, once
        expectFullScan(cache, homes);
        cache.save(); // replaces the damaged file
        ScanCache next(path);
        ASSERT_TRUE(next.load());
        EXPECT_EQ(next.refresh(homes).stats.filesUnchanged, transcripts);
        expectFullScan(next, homes);
    }
}

// A process that loaded a cache file and saved over it keeps no descriptor of the
// version it loaded, and its keys still come back from the file it wrote.
TEST(CacheFileDamage, AfterASaveOnlyTheFileJustWrittenIsHeld) {
    if (!std::filesystem::exists("/proc/self/fd")) GTEST_SKIP() << "no /proc/self/fd here";
    const SavedHome saved;
    const auto& homes = saved.homes;
    const std::string& path = saved.path;
    auto held = [&] {
        int deleted = 0, live = 0;
        for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            const std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
            deleted += target == path + " (deleted)";
            live += target == path;
        }
        return std::make_pair(deleted, live);
    };
    ScanCache cache(path);
    ASSERT_TRUE(cache.load());
    EXPECT_EQ(held(), std::make_pair(0, 1)); // the keys are read from the file loaded
    cache.refresh(homes);
    cache.save();
    EXPECT_EQ(held(), std::make_pair(0, 1)); // the file written, not the one loaded
    cache.save();
    EXPECT_EQ(held(), std::make_pair(0, 1));
    ScanCache again(path);
    ASSERT_TRUE(again.load());
    expectFullScan(again, homes);

    // Another program's save replaces the file: held until the next refresh, not after.
    again.save();
    EXPECT_EQ(held(), std::make_pair(1, 1));
    refreshAndKeep(cache, homes);
    EXPECT_EQ(held(), std::make_pair(0, 2)); // both programs read the file now there
    expectFullScan(cache, homes);
    // Nothing loadable in its stead: the table is written there again.
    std::filesystem::remove(path);
    refreshAndKeep(again, homes);
    EXPECT_EQ(held(), std::make_pair(1, 1));
    expectFullScan(again, homes);
}
