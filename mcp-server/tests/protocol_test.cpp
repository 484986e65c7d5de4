// The real program driven through pipes, one scripted session per test.
#include <gtest/gtest.h>

#include "Contains.hpp"
#include "Process.hpp"
#include "ServerFixture.hpp"
#include "vantery/base/Text.hpp"
#include "vantery/mcp/Json.hpp"

using namespace vantery::mcp;
using namespace vantery::mcp::testing;

namespace {

const std::string ignored = "[vantery-mcp] line ignored: not JSON, or no `method`";

struct Session {
    ProcessResult result;
    std::vector<std::string> out, err;
};

Session run(const vantery::testing::TempHome& home, const std::string& input,
            bool readerGone = false) {
    Session s;
    s.result = runProcess(VANTERY_MCP_BINARY, input,
                          {{"HOME", home.path()},
                           {"VANTERY_HOME", home.path()},
                           {"VANTERY_CACHE_PATH", home / "cache/scan-cache.bin"},
                           {"XDG_DATA_HOME", home / "xdg"}},
                          readerGone);
    s.out = lines(s.result.out);
    s.err = lines(s.result.err);
    return s;
}

std::string startLine(const vantery::testing::TempHome& home) {
    return "[vantery-mcp] started; cache = " + (home / "cache/scan-cache.bin") +
           "; homes = .claude, .claude-work, .claude-outlook, .claude-yahoo";
}

} // namespace

TEST(Protocol, EndOfInputAtOnceLogsStartAndEndAndExitsZero) {
    vantery::testing::TempHome home;
    Session s = run(home, "");
    EXPECT_EQ(s.result.exitStatus, 0);
    EXPECT_TRUE(s.out.empty());
    EXPECT_EQ(s.err,
              (std::vector<std::string>{startLine(home), "[vantery-mcp] stdin closed; exiting"}));
}

TEST(Protocol, AScriptedSessionGetsExactlyTheRepliesItShould) {
    vantery::testing::TempHome home;
    const std::string script =
        "\n"
        "   \t  \n"
        R"({"jsonrpc":"2.0","method":"ping"})"
        "\n"
        R"({"jsonrpc":"2.0","id":7,"method":"ping"})"
        "\n"
        R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{}})"
        "\n"
        R"({"jsonrpc":"2.0","id":"init-2","method":"initialize","params":{"protocolVersion":"2024-11-05"}})"
        "\n"
        R"({"jsonrpc":"2.0","id":3,"method":"initialize","params":{"protocolVersion":20250618}})"
        "\n"
        R"({"jsonrpc":"2.0","method":"initialize"})"
        "\n"
        R"({"jsonrpc":"2.0","id":99,"method":"notifications/initialized"})"
        "\n"
        R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":1}})"
        "\n"
        R"({"jsonrpc":"2.0","id":2,"method":"resources/list"})"
        "\n"
        R"({"jsonrpc":"2.0","method":"resources/list"})"
        "\n"
        R"([{"jsonrpc":"2.0","id":5,"method":"ping"}])"
        "\n"
        "{}\n"
        R"({"jsonrpc":"2.0","id":6,"method":42})"
        "\n"
        "this is not JSON\n"
        R"({"jsonrpc":"2.0","id":8,"method":"tools/call"})"
        "\n"
        R"({"jsonrpc":"2.0","method":"tools/call","params":{"name":"vant_overview"}})"
        "\n"
        R"({"jsonrpc":"2.0","id":null,"method":"ping"})"
        "\n"
        "  \t{\"jsonrpc\":\"2.0\",\"id\":9,\"method\":\"ping\",\"params\":[1]}\r\n"
        R"({"jsonrpc":"2.0","id":10,"method":"tools/list"})"; // no final line feed
    Session s = run(home, script);
    ASSERT_EQ(s.result.exitStatus, 0);
    ASSERT_EQ(s.out.size(), 9u) << s.result.out;

    EXPECT_EQ(s.out[0], R"({"jsonrpc":"2.0","id":7,"result":{}})");
    Json init = Json::parse(s.out[1]);
    EXPECT_EQ(init["id"], 1);
    EXPECT_EQ(init["result"]["protocolVersion"], "2025-11-25");
    EXPECT_EQ(init["result"]["capabilities"], Json({{"tools", Json::object()}}));
    EXPECT_EQ(init["result"]["serverInfo"], Json({{"name", "vantery"}, {"version", "0.5.3"}}));
    EXPECT_EQ(init["result"]["instructions"].get<std::string>().rfind("Vantery measures", 0), 0u);
    EXPECT_EQ(Json::parse(s.out[2])["id"], "init-2");
    EXPECT_EQ(Json::parse(s.out[2])["result"]["protocolVersion"], "2024-11-05");
    EXPECT_EQ(Json::parse(s.out[3])["result"]["protocolVersion"], "2025-11-25");
    EXPECT_EQ(
        s.out[4],
        R"({"jsonrpc":"2.0","id":2,"error":{"code":-32601,"message":"Unknown method: resources/list"}})");
    EXPECT_EQ(
        s.out[5],
        R"({"jsonrpc":"2.0","id":8,"result":{"content":[{"type":"text","text":"Unknown verb: "}],"isError":true}})");
    EXPECT_EQ(s.out[6], R"({"jsonrpc":"2.0","id":null,"result":{}})");
    EXPECT_EQ(s.out[7], R"({"jsonrpc":"2.0","id":9,"result":{}})");
    Json list = Json::parse(s.out[8]);
    EXPECT_EQ(list["id"], 10);
    EXPECT_EQ(list["result"]["tools"].size(), 9u);
    EXPECT_EQ(s.out[8].find('\n'), std::string::npos);
    EXPECT_NE(s.out[8].find("`teams/session-*/config.json`"), std::string::npos)
        << "a slash is not escaped";

    // Four malformed lines, each logged once; nothing else between start and end.
    std::vector<std::string> expectedErr{
        startLine(home), ignored, ignored, ignored, ignored, "[vantery-mcp] stdin closed; exiting"};
    EXPECT_EQ(s.err, expectedErr);
}

TEST(Protocol, RepliesAreWrittenBeforeTheNextLineIsRead) {
    vantery::testing::TempHome home;
    std::string script;
    for (int i = 0; i < 2000; ++i)
        script += R"({"jsonrpc":"2.0","id":)" + std::to_string(i) + R"(,"method":"ping"})" + "\n";
    Session s = run(home, script);
    ASSERT_EQ(s.out.size(), 2000u);
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(s.out[static_cast<std::size_t>(i)],
                  R"({"jsonrpc":"2.0","id":)" + std::to_string(i) + R"(,"result":{}})");
}

TEST(Protocol, TextFromPathsThatAreNotUtf8IsStillAnswered) {
    vantery::testing::TempHome home;
    // Transcripts without a session id take it from their file name, here not UTF-8.
    int n = 0;
    for (const char* name : {"cafe\xff"
                             "a",
                             "cafe\xfe\xff"
                             "b"}) {
        Line l;
        l.sessionId = "";
        l.messageId = l.requestId = "m-" + std::to_string(++n);
        home.write(".claude/projects/p/" + std::string(name) + ".jsonl", usageLine(l));
    }
    Session s = run(
        home,
        R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"vant_cost","arguments":{"period":"all","session_id":"cafe"}}})"
        "\n"
        R"({"jsonrpc":"2.0","id":2,"method":"ping"})"
        "\n");
    ASSERT_EQ(s.result.exitStatus, 0);
    ASSERT_EQ(s.out.size(), 2u) << s.result.err;
    EXPECT_TRUE(vantery::text::isValidUtf8(s.out[0]));
    Json reply = Json::parse(s.out[0]);
    EXPECT_EQ(reply["id"], 1);
    EXPECT_TRUE(reply["result"]["isError"].get<bool>());
    std::string text = reply["result"]["content"][0]["text"];
    EXPECT_EQ(text.rfind("The prefix \u201ccafe\u201d matches 2 sessions:", 0), 0u) << text;
    EXPECT_TRUE(contains(text, "cafe\uFFFD"
                               "a"));
    EXPECT_TRUE(contains(text, "cafe\uFFFD\uFFFD"
                               "b"));
    EXPECT_EQ(s.out[1], R"({"jsonrpc":"2.0","id":2,"result":{}})");
}

TEST(Protocol, AClientThatGoesAwayEndsTheServerCleanly) {
    vantery::testing::TempHome home;
    std::string script;
    for (int i = 0; i < 200; ++i)
        script += R"({"jsonrpc":"2.0","id":1,"method":"tools/list"})"
                  "\n";
    Session s = run(home, script, /*readerGone=*/true);
    EXPECT_EQ(s.result.signal, 0) << "no death by SIGPIPE";
    EXPECT_EQ(s.result.exitStatus, 0);
    ASSERT_FALSE(s.err.empty());
    EXPECT_EQ(s.err.back(), "[vantery-mcp] stdout closed; exiting");
}

TEST(Protocol, MessagesNestedBeyondReasonAreIgnoredNotFatal) {
    vantery::testing::TempHome home;
    auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
    std::string script = R"({"jsonrpc":"2.0","id":)" + nested(200000) + R"(,"method":"ping"})" +
                         "\n" + R"({"jsonrpc":"2.0","id":)" + nested(100) + R"(,"method":"ping"})" +
                         "\n" + R"({"jsonrpc":"2.0","id":"[[[[{{{{","method":"ping"})" + "\n";
    Session s = run(home, script);
    EXPECT_EQ(s.result.signal, 0);
    EXPECT_EQ(s.result.exitStatus, 0);
    ASSERT_EQ(s.out.size(), 2u);
    EXPECT_EQ(s.out[0], R"({"jsonrpc":"2.0","id":)" + nested(100) + R"(,"result":{}})");
    EXPECT_EQ(s.out[1], R"({"jsonrpc":"2.0","id":"[[[[{{{{","result":{}})");
    EXPECT_EQ(std::count(s.err.begin(), s.err.end(), ignored), 1);
}
