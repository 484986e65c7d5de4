#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ServerFixture.hpp"
#include "vantery/mcp/AnswerText.hpp"
#include "vantery/mcp/MCPServer.hpp"
#include "vantery/mcp/Protocol.hpp"
#include "vantery/report/Derived.hpp"

using namespace vantery;
using namespace vantery::mcp;
using namespace vantery::mcp::testing;
using vantery::testing::fileContent;

namespace {

Line request(std::string id, std::string session, std::string cwd, std::string agentId,
             std::int64_t input) {
    Line l;
    l.messageId = "msg_" + id;
    l.requestId = "req_" + id;
    l.sessionId = std::move(session);
    l.cwd = std::move(cwd);
    l.agentId = std::move(agentId);
    l.input = input;
    l.output = 0;
    return l;
}

// Three projects, two sessions, a named agent, an anonymous one and the main session.
struct FilterFixture : ::testing::Test {
    ServerFixture f;
    std::shared_ptr<DataSource> data;
    std::unique_ptr<MCPServer> server;

    void SetUp() override {
        const std::string rev = "arev-0123456789abcdef";
        f.transcript("p/one.jsonl",
                     usageLine(request("1", "sess-aaaa-1", "/w/app", "", 1'000'000)) +
                         usageLine(request("2", "sess-aaaa-1", "/w/app", rev, 2'000'000)) +
                         usageLine(request("3", "sess-bbbb-2", "/w/app-web", rev, 3'000'000)) +
                         usageLine(request("4", "sess-bbbb-2", "/w/tools", "0a1b2c", 500'000)));
        data = f.make();
        server = std::make_unique<MCPServer>(data);
    }

    std::string refusal(const Json& args) {
        try {
            server->buildFilters(args);
        } catch (const MCPError& e) {
            return e.what();
        }
        return "(accepted)";
    }

    std::int64_t requestsPassing(const MCPServer::Filters& filters) {
        return data->report(Period::all(), filters.predicate).total.requests;
    }
};

} // namespace

TEST(ToolTable, MatchesTheHandTypedFixtureExactlyAndInOrder) {
    Json fixture = Json::parse(fileContent(VANTERY_SOURCE_DIR "/testdata/mcp/tools-list.json"));
    Json tools = MCPServer::tools();
    // Same members in the same order: compare the compact texts, not only the values.
    EXPECT_EQ(Json({{"tools", tools}}).dump(), fixture.dump());
    EXPECT_EQ(MCPServer::periodProp("today")["description"],
              "Period: `today`, `yesterday`, `NNd` (the last NN days, e.g. `7d`), `all`. "
              "Defaults to `today`. Or give `from`/`to` instead.");
}

TEST(ToolTable, UnknownNamesAreRefusedWithoutTouchingTheData) {
    ServerFixture f;
    auto data = f.make();
    MCPServer server(data);
    auto answer = server.callTool("VANT_OVERVIEW", Json::object());
    EXPECT_EQ(answer.text, "Unknown verb: VANT_OVERVIEW");
    EXPECT_TRUE(answer.isError);
    EXPECT_EQ(server.callTool("", Json::object()).text, "Unknown verb: ");
    EXPECT_FALSE(std::filesystem::exists(f.home / "cache/scan-cache.bin"));
}

TEST(ToolTable, RefusalsComeBackUnchangedAndFailuresWithErrorPrefix) {
    ServerFixture f;
    MCPServer server(f.make());
    auto refused = server.callTool("vant_cost", {{"period", "week"}});
    EXPECT_TRUE(refused.isError);
    EXPECT_EQ(refused.text.rfind("unknown period \u201cweek\u201d", 0), 0u) << refused.text;
    // Every listed tool answers text, never a crash, whatever its state.
    for (const auto& t : MCPServer::tools()) {
        auto a = server.callTool(t["name"].get<std::string>(), Json::object());
        EXPECT_FALSE(a.text.empty()) << t["name"];
    }
}

TEST_F(FilterFixture, NoFilterArgumentsMeanNoPredicateAndNoRefresh) {
    auto filters = server->buildFilters({{"agent", ""}, {"project", ""}, {"session_id", ""}});
    EXPECT_FALSE(filters.predicate);
    EXPECT_TRUE(filters.described.empty());
    EXPECT_TRUE(data->table().empty()) << "no refresh may happen";
    EXPECT_FALSE(server->buildFilters({{"agent", 5}}).predicate);
}

TEST_F(FilterFixture, MainAgentAndProjectCombine) {
    auto main = server->buildFilters({{"agent", "main"}});
    EXPECT_EQ(main.described, (std::vector<std::string>{"agent = main session (no agentId)"}));
    EXPECT_EQ(requestsPassing(main), 1);

    auto both = server->buildFilters({{"agent", "REV"}, {"project", "/w/app"}});
    EXPECT_EQ(both.described, (std::vector<std::string>{"agent = rev  [arev-0123456789abcdef]",
                                                        "project = /w/app"}));
    EXPECT_EQ(requestsPassing(both), 1);
    EXPECT_EQ(server->header("Cost", Period::all(), both),
              "Cost \u2014 all history\nfilters: agent = rev  [arev-0123456789abcdef] \u00b7 "
              "project = /w/app\n");

    auto session = server->buildFilters({{"session_id", "sess-b"}});
    EXPECT_EQ(session.described, (std::vector<std::string>{"session = sess-bbbb-2"}));
    EXPECT_EQ(requestsPassing(session), 2);
}

TEST_F(FilterFixture, RefusalsNameCandidatesDearestFirstAndStopAtTheFirst) {
    EXPECT_EQ(refusal({{"agent", "   "}}),
              "No agent matches \u201c   \u201d. See `vant_top_agents` with `period: \"all\"` "
              "for the real names.");
    // A bad agent is reported before a bad project.
    EXPECT_EQ(refusal({{"agent", "nobody"}, {"project", "nowhere"}}).rfind("No agent matches", 0),
              0u);
    EXPECT_EQ(refusal({{"project", "nowhere"}}),
              "No project matches \u201cnowhere\u201d. See `vant_top_projects` with "
              "`period: \"all\"`.");
    EXPECT_EQ(refusal({{"project", "app"}}),
              "\u201capp\u201d matches 2 projects:\n  /w/app \u2014 $9.00\n  /w/app-web \u2014 "
              "$9.00")
        << "equal costs ($3 + $6 against $9) fall back to label order";
    EXPECT_EQ(refusal({{"session_id", "sess-"}}),
              "The prefix \u201csess-\u201d matches 2 sessions:\n  sess-bbbb-2 \u2014 $10.50\n  "
              "sess-aaaa-1 \u2014 $9.00");
    EXPECT_EQ(refusal({{"session_id", "zzz"}}), "No session starts with \u201czzz\u201d.");
}

TEST(Filters, MatchesCountEveryCandidateWhileListingTheDearest25) {
    ServerFixture f;
    std::string lines;
    for (int i = 0; i < 30; ++i)
        lines += usageLine(request(std::to_string(i), "cafe-" + std::to_string(100 + i), "/w/x", "",
                                   1000 * (i + 1)));
    f.transcript("p/many.jsonl", lines);
    MCPServer server(f.make());
    try {
        server.buildFilters({{"session_id", "cafe"}});
        FAIL() << "an ambiguous prefix must be refused";
    } catch (const MCPError& e) {
        std::string text = e.what();
        EXPECT_EQ(text.rfind("The prefix \u201ccafe\u201d matches 30 sessions (the 25 dearest "
                             "shown):\n  cafe-129 \u2014 ",
                             0),
                  0u)
            << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 25);
        EXPECT_EQ(text.find("cafe-104 "), std::string::npos) << "the cheapest five are left out";
    }
}

TEST(Layout, ListFooterAndHomeName) {
    ServerFixture f;
    MCPServer server(f.make());
    EXPECT_EQ(MCPServer::list({}, "no agent in range"), "  unknown \u2014 no agent in range\n");
    Bucket b;
    b.requests = 2;
    b.cost.priced = 1.5;
    EXPECT_EQ(MCPServer::list({{"a", b}, {"b", b}}, "x"),
              AnswerText::bucketLine("a", b, 34) + "\n" + AnswerText::bucketLine("b", b, 34) +
                  "\n");

    Period past{LocalDay::fromYMD(2025, 1, 1), LocalDay::fromYMD(2025, 1, 1), "p", false, true};
    Report report;
    const std::string disclaimer = "\u2014 " + std::string(Derived::disclaimer) + "\n";
    EXPECT_EQ(server.footer(report, past), "\n" + disclaimer);
    report.total.cost.unpricedRequests = 1;
    report.total.cost.unpricedModels = {"m"};
    report.total.cacheWriteAssumedRequests = 2;
    EXPECT_EQ(server.footer(report, Period::all()),
              "\nThe period includes today \u2014 the figure is not final.\n" +
                  *AnswerText::unpricedNote(report.total) + "\n" +
                  *AnswerText::assumedNote(report.total) + "\n" + disclaimer);

    EXPECT_EQ(server.header("Top agents by cost", Period::all(), {}),
              "Top agents by cost \u2014 all history\n");
    EXPECT_EQ(server.homeName(f.home / ".claude-work/projects/x/s.jsonl"), ".claude-work");
    EXPECT_EQ(server.homeName("/elsewhere/s.jsonl"), "unknown");
}

TEST(Arguments, TypedReadsTakeOnlyTheRightType) {
    Json args = Json::parse(R"({"s":"x","i":5,"f":5.0,"half":5.5,"neg":-3,"huge":1e300,
        "big":18446744073709551615,"digits":"5","b":true,"n":null})");
    EXPECT_EQ(argString(args, "s"), "x");
    EXPECT_FALSE(argString(args, "i"));
    EXPECT_FALSE(argString(args, "missing"));
    EXPECT_EQ(argInt(args, "i"), 5);
    EXPECT_EQ(argInt(args, "f"), 5) << "a whole number written with a fraction counts";
    EXPECT_EQ(argInt(args, "neg"), -3);
    for (const char* k : {"half", "huge", "big", "digits", "b", "n", "missing"})
        EXPECT_FALSE(argInt(args, k)) << k;
    EXPECT_EQ(argBool(args, "b"), true);
    EXPECT_FALSE(argBool(args, "i"));
    EXPECT_FALSE(argInt(Json::array({1}), "i")) << "arguments that are not an object";
}

TEST(Serialization, InvalidUtf8BecomesReplacementCharacters) {
    Json reply = Protocol::errorResponse(3, -32601, std::string("bad \xC3\x28 \xFF end"));
    auto text = Protocol::serialize(reply);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "{\"jsonrpc\":\"2.0\",\"id\":3,\"error\":{\"code\":-32601,\"message\":\"bad "
                     "\uFFFD( \uFFFD end\"}}");
}

TEST(Serialization, LinesAreTrimmedOfUnicodeBlanksToo) {
    LineServer s;
    auto reply =
        s.answer("\u00a0\u3000{\"jsonrpc\":\"2.0\",\"id\":4,\"method\":\"ping\"}\u2028\u0085\r");
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, R"({"jsonrpc":"2.0","id":4,"result":{}})");
    EXPECT_FALSE(s.answer("\u2003 \u00a0\t"));
    EXPECT_TRUE(s.logged.empty()) << "a line of blanks is skipped without a log line";
    // A blank-looking byte that is not one (a lone continuation byte) is not trimmed.
    EXPECT_FALSE(s.answer("\xa0{}"));
    EXPECT_EQ(s.logged.size(), 1u);
}

TEST(Serialization, BytesThatAreNotUtf8ReadAsReplacementCharacters) {
    LineServer s;
    auto reply = s.answer("{\"jsonrpc\":\"2.0\",\"id\":5,\"method\":\"tools/call\",\"params\":{"
                          "\"name\":\"vant_\xE9\"}}");
    ASSERT_TRUE(reply) << "a request with an id is answered";
    EXPECT_EQ(Json::parse(*reply)["result"]["content"][0]["text"], "Unknown verb: vant_\uFFFD");
    EXPECT_TRUE(s.logged.empty());
}
