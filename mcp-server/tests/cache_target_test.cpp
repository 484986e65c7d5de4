#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "Process.hpp"
#include "ServerFixture.hpp"
#include "vantery/mcp/DataSource.hpp"

using namespace vantery::mcp;
using namespace vantery::mcp::testing;
using vantery::testing::fileContent;

namespace {

Line usage(const std::string& id) {
    Line l;
    l.messageId = "msg_" + id;
    l.requestId = "req_" + id;
    return l;
}

} // namespace

// A cache path naming a transcript (or any file that is no cache) is refused: the
// file stays as it was, the server keeps answering from the transcripts and says
// why once.
TEST(CacheTarget, TheServerNeverSavesOverATranscript) {
    ServerFixture f;
    f.transcript("p/a.jsonl", usageLine(usage("1")));
    const std::string transcript = f.home / ".claude/projects/p/a.jsonl";
    const std::string before = fileContent(transcript);
    for (const std::string& target : {transcript, f.home.write("notes.txt", "mine")}) {
        const std::string kept = fileContent(target);
        f.variables["VANTERY_CACHE_PATH"] = target;
        auto env = f.environment();
        std::vector<std::string> logged;
        env.log = [&](std::string_view m) { logged.emplace_back(m); };
        DataSource data(env);
        data.ensureFresh();
        data.keepCache();
        *f.monotonic += 60;
        data.ensureFresh();
        data.keepCache();
        EXPECT_EQ(data.table().size(), 1u) << target;
        EXPECT_EQ(fileContent(target), kept) << target;
        ASSERT_EQ(logged.size(), 1u) << target;
        EXPECT_NE(logged[0].find(target), std::string::npos);
    }
    EXPECT_EQ(fileContent(transcript), before);

    // A folder made for the cache is private, like the default one.
    f.variables["VANTERY_CACHE_PATH"] = "~/made/for/cache.bin";
    DataSource data(f.environment());
    EXPECT_EQ(data.cache().cachePath(), f.home / "made/for/cache.bin");
    for (const char* folder : {"made", "made/for"}) {
        struct stat st {};
        ASSERT_EQ(::stat((f.home / folder).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
    }
}

// The core only reports why a cache is not kept; the program logs it, once, prefixed.
TEST(CacheTarget, TheProgramLogsARefusedLocationOnceWithItsPrefix) {
    vantery::testing::TempHome home;
    home.transcript("p/a.jsonl", usageLine(usage("1")));
    const std::string refused = home / ".claude/projects/p/scan-cache.bin";
    const std::string call =
        R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"vant_sources"}})"
        "\n";
    ProcessResult run = runProcess(VANTERY_MCP_BINARY, call + call,
                                   {{"HOME", home.path()},
                                    {"VANTERY_HOME", home.path()},
                                    {"VANTERY_CACHE_PATH", refused},
                                    {"XDG_DATA_HOME", home / "xdg"}});
    ASSERT_EQ(run.exitStatus, 0);
    std::vector<std::string> told;
    for (const std::string& line : lines(run.err))
        if (line.find("not kept") != std::string::npos) told.push_back(line);
    ASSERT_EQ(told.size(), 1u) << run.err;
    EXPECT_TRUE(told[0].starts_with("[vantery-mcp] cache not kept: " + refused)) << told[0];
}
