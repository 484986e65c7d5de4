#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "TempDir.hpp"
#include "UsageLines.hpp"
#include "ingest/LineReader.hpp"
#include "vantery/base/Paths.hpp"
#include "vantery/cache/CacheLocation.hpp"
#include "vantery/cache/KeptRefresh.hpp"
#include "vantery/cache/ScanCache.hpp"
#include "vantery/ingest/AgentRoster.hpp"

using namespace vantery;
using namespace vantery::testing;

namespace {

// Special files made by a test, removed before the temporary folder is: its
// clean-up changes permissions, which would follow a link to a device.
struct SpecialFiles {
    std::vector<std::string> paths;
    ~SpecialFiles() {
        for (const auto& p : paths)
            ::unlink(p.c_str());
    }
    void fifo(const std::string& path) {
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
        paths.push_back(path);
    }
    void link(const std::string& target, const std::string& path) {
        ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0) << path;
        paths.push_back(path);
    }
};

// Sets the longest line a reading holds for the length of a test.
struct LineCap {
    explicit LineCap(std::size_t bytes) { LineReader::setMaxLineBytes(bytes); }
    ~LineCap() { LineReader::setMaxLineBytes(LineReader::defaultMaxLineBytes); }
    LineCap(const LineCap&) = delete;
    LineCap& operator=(const LineCap&) = delete;
};

std::string longLine(std::size_t bytes) {
    return R"({"pad":")" + std::string(bytes, 'x') + "\"}";
}

} // namespace

// FIFOs and links to endless devices as cache file, roster or transcript are never
// waited on and never read without bound: a call that meets one still answers.
TEST(HostileFiles, SpecialFilesAreSkippedNotWaitedOn) {
    TempHome home;
    SpecialFiles special;
    const auto homes = SourceHome::defaults(home.path());
    home.transcript("p/a.jsonl", usageLine(1) + "\n");

    special.fifo(home / "fifo-cache.bin");
    special.link("/dev/zero", home / "zero-cache.bin");
    for (const char* name : {"fifo-cache.bin", "zero-cache.bin"}) {
        ScanCache cache(home / name);
        EXPECT_FALSE(cache.load()) << name;
        EXPECT_EQ(cache.refresh(homes).table->size(), 1u);
        EXPECT_THROW(cache.save(), std::system_error) << name << ": not a cache file";
    }

    home.mkdir(".claude/teams/session-1");
    home.mkdir(".claude/teams/session-2");
    home.mkdir(".claude/teams/session-3");
    special.fifo(home / ".claude/teams/session-1/config.json");
    special.link("/dev/urandom", home / ".claude/teams/session-2/config.json");
    // Larger than any roster: skipped whole.
    home.write(".claude/teams/session-3/config.json",
               R"({"members":[{"agentId":"a@1"}],"pad":")" + std::string(1 << 20, 'x') + "\"}");
    AgentRoster roster;
    roster.load(homes);
    EXPECT_EQ(roster.coverage().rostersRead, 0);

    // A transcript that became a FIFO after it was listed.
    special.fifo(home / "swapped.jsonl");
    EXPECT_THROW(
        LineReader::forEachLine(home / "swapped.jsonl", 0, std::nullopt, [](std::string_view) {}),
        LineReader::ReadError);
}

// A file whose line cannot be held is named unreadable; the other files' figures
// stand, and once it can be read (nothing about the file changed) its requests
// come back, also after the cache was saved and loaded in between.
TEST(HostileFiles, AFileTooLongToHoldIsUnreadableAndTriedAgain) {
    TempHome home;
    const auto homes = SourceHome::defaults(home.path());
    home.transcript("p/a.jsonl", usageLine(1) + "\n");
    const std::string big = home.transcript("p/b.jsonl", usageLine(2) + "\n" + longLine(5000) +
                                                             "\n" + usageLine(3) + "\n");
    const std::string file = home / "cache.bin";

    {
        LineCap cap(4096);
        auto full = Scanner::scan(homes, true);
        EXPECT_EQ(full.diagnostics.filesUnreadable, std::vector<std::string>{big});
        EXPECT_EQ(full.records.size(), 2u); // a's, and b's before the long line

        ScanCache cache(file);
        for (int pass = 0; pass < 2; ++pass) {
            auto r = cache.refresh(homes);
            EXPECT_EQ(r.diagnostics.filesUnreadable, std::vector<std::string>{big}) << pass;
            EXPECT_EQ(r.table->size(), 2u) << pass;
        }
        cache.save();
    }
    ScanCache reloaded(file);
    ASSERT_TRUE(reloaded.load());
    auto r = reloaded.refresh(homes);
    EXPECT_TRUE(r.diagnostics.filesUnreadable.empty());
    EXPECT_EQ(r.table->size(), 3u);
    auto verdict = reloaded.verifyAgainstFullScan(homes);
    EXPECT_TRUE(verdict.isClean()) << verdict.summary();
}

// The cache is only ever written over a cache file, and folders made for it are
// private to the user.
TEST(HostileFiles, CacheIsNeverWrittenOverAnotherFile) {
    TempHome home;
    const auto homes = SourceHome::defaults(home.path());
    const std::string transcript = home.transcript("p/a.jsonl", usageLine(1) + "\n");
    EXPECT_EQ(cachefile::check(transcript, homes), cachefile::Target::insideHome);
    EXPECT_EQ(cachefile::check(home / ".claude/teams/new/cache.bin", homes),
              cachefile::Target::insideHome);
    EXPECT_EQ(cachefile::check(home / "cache.bin", homes), cachefile::Target::ok);
    // Anywhere in a home, read or not; a sibling whose name only begins alike is not in it.
    EXPECT_EQ(cachefile::check(home / ".claude-yahoo/cache.bin", homes),
              cachefile::Target::insideHome);
    EXPECT_EQ(cachefile::check(home / ".claude-old/cache.bin", homes), cachefile::Target::ok);

    // Through a link into the transcripts.
    std::filesystem::create_directory_symlink(home / ".claude/projects", home / "elsewhere");
    EXPECT_EQ(cachefile::check(home / "elsewhere/p/new.bin", homes), cachefile::Target::insideHome);
    // Through a link to a file not made yet, and a chain of them, relative ones included.
    std::filesystem::create_symlink(home / ".claude/new/settings.conf", home / "dangling.conf");
    std::filesystem::create_symlink("dangling.conf", home / "hop.conf");
    home.mkdir("cfg");
    std::filesystem::create_symlink("../hop.conf", home / "cfg/app.conf");
    std::filesystem::create_symlink("../.claude-work/x/app.conf", home / "cfg/up.conf");
    for (const char* link : {"dangling.conf", "hop.conf", "cfg/app.conf", "cfg/up.conf"})
        EXPECT_TRUE(cachefile::withinClaudeHome(home / link, homes)) << link;
    std::filesystem::create_symlink("loop.b", home / "loop.a");
    std::filesystem::create_symlink("loop.a", home / "loop.b");
    EXPECT_FALSE(cachefile::withinClaudeHome(home / "loop.a", homes));

    const std::string notes = home.write("notes.txt", "mine");
    EXPECT_EQ(cachefile::check(notes, homes), cachefile::Target::foreignFile);
    ScanCache cache(notes);
    cache.refresh(homes);
    EXPECT_THROW(cache.save(), std::system_error);
    ScanCache own(home / "cache.bin");
    own.refresh(homes);
    own.save();
    own.save(); // its own file is replaced
    EXPECT_EQ(cachefile::check(home / "cache.bin", homes), cachefile::Target::ok);

    const std::string folder = home / "a/b";
    ASSERT_TRUE(paths::makePrivateFolders(folder));
    for (const std::string& f : {home / "a", folder}) {
        struct stat st {};
        ASSERT_EQ(::stat(f.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << f;
    }
    EXPECT_EQ(paths::expandTilde("~/x/c.bin", "/h"), "/h/x/c.bin");
    EXPECT_EQ(paths::expandTilde("~", "/h"), "/h");
    EXPECT_EQ(paths::expandTilde("~other/c.bin", "/h"), "~other/c.bin");
    auto env = [](const char* name) -> std::optional<std::string> {
        if (std::string_view(name) == "HOME") return "relative/home";
        return std::nullopt;
    };
    auto fallback = paths::userHome(env); // a relative HOME is not taken
    EXPECT_TRUE(!fallback || fallback->front() == '/');
}

// A cache location inside a Claude home (by XDG_DATA_HOME or VANTERY_CACHE_PATH, in its
// projects tree or anywhere else in it) is refused before anything is created there;
// the figures come all the same.
TEST(HostileFiles, NothingIsCreatedForACacheInsideAHome) {
    TempHome home;
    const auto homes = SourceHome::defaults(home.path());
    home.transcript("p/a.jsonl", usageLine(1) + "\n");
    const std::string claude = home / ".claude";
    const std::string projects = claude + "/projects";
    const std::pair<const char*, std::string> placements[] = {
        {"XDG_DATA_HOME", projects + "/data"},
        {"XDG_DATA_HOME", claude},
        {"VANTERY_CACHE_PATH", projects + "/app/scan-cache.v2.bin"},
        {"VANTERY_CACHE_PATH", claude + "/app/scan-cache.v2.bin"},
    };
    for (const auto& [variable, value] : placements) {
        SCOPED_TRACE(std::string(variable) + "=" + value);
        ScanCache cache([&](const char* name) -> std::optional<std::string> {
            if (std::string_view(name) == variable) return value;
            if (std::string_view(name) == "HOME") return home.path();
            return std::nullopt;
        });
        ASSERT_TRUE(cache.cachePath().starts_with(claude)) << cache.cachePath();
        ::testing::internal::CaptureStderr();
        auto kept = refreshAndKeep(cache, homes);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "only the server logs";
        EXPECT_EQ(kept.refresh.table->size(), 1u);
        EXPECT_FALSE(kept.saved);
        ASSERT_TRUE(kept.notKept);
        EXPECT_NE(kept.notKept->find("inside a Claude home"), std::string::npos);
        std::vector<std::string> entries;
        for (const auto& e : std::filesystem::recursive_directory_iterator(claude))
            entries.push_back(e.path().string());
        std::sort(entries.begin(), entries.end());
        EXPECT_EQ(entries,
                  (std::vector<std::string>{projects, projects + "/p", projects + "/p/a.jsonl"}));
    }
}

// A file last written an hour ago.
static void age(const std::string& path) {
    namespace fs = std::filesystem;
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(1));
}

// A save killed midway leaves its temporary; the next load or save removes it, and
// only it: not a live save's locked temporary, not one a save has only just made (it
// may not hold its lock yet), nor anything else of a similar name.
TEST(HostileFiles, StaleTemporariesOfTheCacheAreRemoved) {
    TempHome home;
    const std::string path = home / "cache/scan-cache.v2.bin";
    const std::string dir = home / "cache";
    std::filesystem::create_directory(dir);
    ScanCache cache(path);
    cache.save();
    const std::string dead = home.write("cache/.scan-cache.v2.bin.Ab3dE9", "VTC1 half");
    const std::string live = home.write("cache/.scan-cache.v2.bin.Zz9yX8", "VTC1 writing");
    const std::string other = home.write("cache/.scan-cache.v2.bin.notmine", "x");
    const std::string similar = home.write("cache/.other.bin.Ab3dE9", "x");
    const std::string fresh = home.write("cache/.scan-cache.v2.bin.Fr3sh1", "VTC1 just made");
    std::filesystem::create_directory(dir + "/.scan-cache.v2.bin.Folder");
    for (const std::string& p : {dead, live, other, similar})
        age(p);
    int fd = ::open(live.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_TRUE(cache.load());
    EXPECT_FALSE(std::filesystem::exists(dead));
    for (const std::string& kept :
         {live, fresh, other, similar, dir + "/.scan-cache.v2.bin.Folder"})
        EXPECT_TRUE(std::filesystem::exists(kept)) << kept;
    ::close(fd);
    age(home.write("cache/.scan-cache.v2.bin.Qq1234", ""));
    cache.save();
    EXPECT_FALSE(std::filesystem::exists(live));
    EXPECT_FALSE(std::filesystem::exists(dir + "/.scan-cache.v2.bin.Qq1234"));
}

// An empty file at the cache path is no one's data: saving replaces it.
TEST(HostileFiles, AnEmptyFileAtTheCachePathIsReplaced) {
    TempHome home;
    const auto homes = SourceHome::defaults(home.path());
    home.transcript("p/a.jsonl", usageLine(1) + "\n");
    const std::string path = home.write("scan-cache.v2.bin", "");
    EXPECT_EQ(cachefile::check(path, homes), cachefile::Target::ok);
    ScanCache cache(path);
    EXPECT_FALSE(cache.load());
    EXPECT_TRUE(refreshAndKeep(cache, homes).saved);
    ScanCache again(path);
    ASSERT_TRUE(again.load());
    EXPECT_EQ(again.snapshot().size(), 1u);
}

// Loads racing a program that cuts the cache file in place (put back whole by a rename
// each time): each load takes the whole file or nothing, and a refresh after a refused
// one reads every file.
TEST(HostileFiles, LoadsRacingACutInPlaceTakeAllOrNothing) {
    TempHome home;
    const auto homes = SourceHome::defaults(home.path());
    constexpr int files = 10;
    for (int f = 0; f < files; ++f) {
        std::string lines;
        for (int i = 0; i < 100; ++i)
            lines += usageLine(f * 100 + i) + "\n";
        home.transcript("p/" + std::to_string(f) + ".jsonl", lines);
    }
    const std::string path = home / "cache.bin";
    {
        ScanCache c(path);
        c.refresh(homes);
        c.save();
    }
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::atomic<bool> stop{false};
    std::thread cutter([&] {
        while (!stop) {
            home.write("whole.bin", bytes);
            std::filesystem::rename(home / "whole.bin", path);
            (void)::truncate(path.c_str(), static_cast<off_t>(bytes.size() / 3));
        }
    });
    int refused = 0;
    for (int i = 0; i < 200; ++i) {
        ScanCache c(path);
        if (c.load()) {
            EXPECT_EQ(c.snapshot().size(), std::size_t{files});
        } else if (++refused <= 5) {
            EXPECT_EQ(c.refresh(homes).stats.filesNew, files);
        }
    }
    stop = true;
    cutter.join();
}
