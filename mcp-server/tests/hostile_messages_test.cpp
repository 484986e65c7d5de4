#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "Contains.hpp"
#include "ServerFixture.hpp"
#include "StrayControls.hpp"
#include "Transcripts.hpp"
#include "vantery/mcp/Json.hpp"
#include "vantery/mcp/Protocol.hpp"

using namespace vantery::mcp;
using namespace vantery::mcp::testing;

// A client waits for every id it sent: whenever the top-level id and method can be
// read, that id is answered, exactly as it was written.
TEST(HostileMessages, EveryReadableIdIsAnswered) {
    LineServer s;
    const std::string deep = std::string(300, '[') + std::string(300, ']');
    auto tooDeep =
        s.answer(R"({"jsonrpc":"2.0","id":1,"method":"ping","params":{"a":)" + deep + "}}");
    ASSERT_TRUE(tooDeep);
    EXPECT_EQ(tooDeep->rfind(R"({"jsonrpc":"2.0","id":1,"error":{"code":-32600,)", 0), 0u)
        << *tooDeep;

    // Ids no JSON value here can hold are sent back as they came, with a real answer.
    EXPECT_EQ(s.answer(R"({"jsonrpc":"2.0","id":1e400,"method":"ping"})"),
              R"({"jsonrpc":"2.0","id":1e400,"result":{}})");
    EXPECT_EQ(s.answer(R"({"jsonrpc":"2.0","id":"\ud800","method":"ping"})"),
              R"({"jsonrpc":"2.0","id":"\ud800","result":{}})");

    // Ids that parse are sent back as written too: thirty digits are not rounded to a
    // double, and a number's or a string's spelling is kept.
    EXPECT_EQ(s.answer(R"({"jsonrpc":"2.0","id":123456789012345678901234567890,"method":"ping"})"),
              R"({"jsonrpc":"2.0","id":123456789012345678901234567890,"result":{}})");
    EXPECT_EQ(
        s.answer(R"({"jsonrpc":"2.0","id":1.50E+2,"method":"nope"})"),
        R"({"jsonrpc":"2.0","id":1.50E+2,"error":{"code":-32601,"message":"Unknown method: nope"}})");
    EXPECT_EQ(s.answer(R"({"id":-0,"jsonrpc":"2.0","method":"ping", "id" : "caf\u00e9\/1" })"),
              R"({"jsonrpc":"2.0","id":"caf\u00e9\/1","result":{}})")
        << "the last of repeated ids counts, as when the line is parsed";

    // A line cut short after its id and method: a parse error for that id.
    EXPECT_EQ(s.answer(R"({"jsonrpc":"2.0","id":"x","method":"tools/call","params":{"name":)"),
              R"({"jsonrpc":"2.0","id":"x","error":{"code":-32700,"message":"Parse error"}})");
    EXPECT_TRUE(s.logged.empty());

    // Nothing to answer: a notification, an id that is no JSON-RPC id, no method.
    EXPECT_FALSE(s.answer(R"({"id":2,"method":"notifications/x","params":{)"));
    EXPECT_FALSE(s.answer(R"({"id":[3],"method":"ping","params":{)"));
    EXPECT_FALSE(s.answer(R"({"id":4,"params":{)"));
    EXPECT_EQ(s.logged.size(), 2u);
}

// Reading a message costs time in proportion to its size: 150,000 argument keys
// once took 22 seconds. The bound is far above the time taken, even unoptimised.
TEST(HostileMessages, ManyKeysAreReadInLinearTime) {
    LineServer s;
    std::string line =
        R"({"jsonrpc":"2.0","id":9,"method":"tools/call","params":{"name":"vant_cost","arguments":{"period":"today")";
    for (int i = 0; i < 150'000; ++i)
        line += ",\"k" + std::to_string(i) + "\":" + std::to_string(i);
    line += "}}}";
    const auto start = std::chrono::steady_clock::now();
    auto reply = s.answer(line);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->rfind(R"({"jsonrpc":"2.0","id":9,"result":{"content":)", 0), 0u);
    EXPECT_NE(reply->find(R"("isError":false)"), std::string::npos) << *reply;
    EXPECT_LT(seconds, 10.0);
    std::printf("150,000 keys answered in %.3f s\n", seconds);
}

// A folder, a model id, a session or an agent id may hold any character. No answer may
// carry a NUL (a client's text stops there) or a direction control that reverses the
// answer's own words; only the controls go, the rest of each name stays.
TEST(HostileNames, NoAnswerCarriesTheirControls) {
    ServerFixture f;
    *f.wall = 1741780800.0; // 2025-03-12 12:00 UTC
    Line l;
    l.timestamp = "2025-03-12T11:00:00Z";
    l.cwd = "/w/ev\\u202Eil\\u0000proj";
    l.sessionId = "s\\u202E\\u0000ess";
    l.agentId = "a\\u202Erev\\u0000iewer-0123456789abcdef";
    l.model = "claude-\\u202Eevil\\u0000";
    std::string lines = usageLine(l);
    l.messageId = l.requestId = "2";
    l.sessionId = "s\\u202Etwo";
    l.agentId = "\\u05E9\\u05DC\\u202E\\u0000";
    l.model = "\\u05E9\\u05DC";
    lines += usageLine(l);
    f.transcript("-w-ev\u202Eil/s1.jsonl", lines);
    MCPServer server(f.make());

    const std::pair<const char*, const char*> calls[] = {
        {"vant_overview", "{}"},
        {"vant_cost", R"({"period":"all","by":"project"})"},
        {"vant_cost", R"({"period":"all","by":"model"})"},
        {"vant_cost", R"({"period":"all","by":"session","project":"ev"})"},
        {"vant_top_agents", R"({"period":"all"})"},
        {"vant_top_projects", R"({"period":"all"})"},
        {"vant_by_model", R"({"period":"all"})"},
        {"vant_session", R"({"session_id":"s"})"},
        {"vant_session", R"({"session_id":"s\u202e\u0000"})"},
        {"vant_agent", R"({"agent":"a"})"},
        {"vant_provenance", R"({"period":"all","session_id":"s\u202e\u0000"})"},
        {"vant_sources", "{}"},
    };
    std::string all;
    for (const auto& [tool, arguments] : calls) {
        const auto answer = server.callTool(tool, Json::parse(arguments));
        EXPECT_EQ(vantery::testing::strayControl(answer.text), "") << tool << " " << arguments;
        all += answer.text;
    }
    for (const char* kept : {"evilproj", "sess", "reviewer-0123456789abcdef", "claude-evil",
                             "-w-evil/s1.jsonl", "\u2068\u05E9\u05DC\u2069"})
        EXPECT_TRUE(contains(all, kept)) << kept;
}
