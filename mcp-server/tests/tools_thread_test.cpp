// Golden answers of vant_session, vant_agent, vant_provenance and vant_sources over
// a small fixed history, New York time, the clock at 2025-03-12 08:00 local.
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "Contains.hpp"
#include "Golden.hpp"
#include "Process.hpp"
#include "ServerFixture.hpp"
#include "Transcripts.hpp"
#include "vantery/mcp/MCPServer.hpp"

namespace vantery::mcp {
namespace {

using testing::contains;
using testing::Line;
using testing::usageLine;

const std::string S1 = "aaaa1111-1111-4111-8111-111111111111";
const std::string S1b = "aaaa1112-2222-4222-8222-222222222222"; // shares "aaaa111" with S1
const std::string S2 = "bbbb2222-3333-4333-8333-333333333333";
const std::string reviewer = "areviewer-0123456789abcdef";
const std::string reviewer2 = "areviewer2-fedcba9876543210";
const std::string anon = "9f8e7d6c5b4a3210";

Line line(std::string id, std::string when, std::string session, std::string cwd,
          std::string agent = "", std::string model = "claude-sonnet-4-5",
          std::int64_t input = 1000, std::int64_t output = 100) {
    Line l;
    l.timestamp = std::move(when);
    l.messageId = "msg_" + id;
    l.requestId = "req_" + id;
    l.sessionId = std::move(session);
    l.cwd = std::move(cwd);
    l.agentId = std::move(agent);
    l.model = std::move(model);
    l.input = input;
    l.output = output;
    return l;
}

// Two homes with transcripts, one empty home, one missing; a session that moved
// from one project to another and was resumed into a second file (one request
// copied); a named agent in two sessions with a roster entry; an unpriced model.
void writeHistory(const testing::ServerFixture& f) {
    const Line r5 = line("5", "2025-03-12T11:00:00Z", S1, "/w/other");
    f.transcript("-w-repo/" + S1 + ".jsonl",
                 usageLine(line("1", "2025-03-10T14:00:00Z", S1, "/w/repo")) +
                     usageLine(line("2", "2025-03-10T15:00:00Z", S1, "/w/repo", reviewer,
                                    "claude-sonnet-4-5", 20000, 2000)) +
                     usageLine(line("3", "2025-03-11T16:30:00Z", S1, "/w/repo", reviewer)) +
                     usageLine(line("4", "2025-03-11T17:00:00Z", S1, "/w/repo", anon,
                                    "mystery-model-1", 5000, 500)) +
                     usageLine(r5));
    f.transcript("-w-repo/" + S1b + ".jsonl",
                 usageLine(r5) + usageLine(line("6", "2025-03-12T11:30:00Z", S1b, "/w/repo")));
    f.home.transcript(
        "-w-work/" + S2 + ".jsonl",
        usageLine(line("7", "2025-03-11T13:00:00Z", S2, "/w/work", reviewer, "claude-opus-4-1",
                       3000, 3000)) +
            R"({"type":"assistant","message":{"usage":{"input_tokens":5)"
            "\n" +
            R"({"type":"user","timestamp":"2025-03-11T13:01:00Z","message":{"content":"hi"}})"
            "\n" +
            usageLine(line("8", "2025-03-12T10:00:00Z", S2, "/w/work", reviewer2)) +
            usageLine(line("9", "2025-03-05T18:00:00Z", S2, "/w/work")),
        ".claude-work");
    f.home.mkdir(".claude-outlook/projects");
    f.home.write(".claude/teams/session-aaaa1111/config.json",
                 R"({"members":[{"agentId":"reviewer@aaaa1111","agentType":"code-reviewer",)"
                 R"("model":"claude-opus-4-1"}]})");
}

class ThreadTools : public ::testing::Test {
  protected:
    testing::ServerFixture fixture;
    std::shared_ptr<DataSource> data;
    std::unique_ptr<MCPServer> server;

    void start(bool withHistory = true) {
        if (withHistory) writeHistory(fixture);
        data = fixture.make();
        server = std::make_unique<MCPServer>(data);
    }

    MCPServer::ToolAnswer call(const std::string& tool, const Json& args) {
        return server->callTool(tool, args);
    }

    // The temporary home and the timing of the read vary from run to run.
    std::string stable(std::string text) const {
        const std::string& home = fixture.home.path();
        for (std::size_t at; (at = text.find(home)) != std::string::npos;)
            text.replace(at, home.size(), "<home>");
        static const std::regex took("(last read took +)[0-9]+\\.[0-9]{3} s");
        return std::regex_replace(text, took, "$1<seconds> s");
    }

    void golden(const std::string& name, const std::string& tool, const Json& args,
                bool isError = false) {
        auto answer = call(tool, args);
        EXPECT_EQ(answer.isError, isError) << answer.text;
        EXPECT_TRUE(
            vantery::testing::matchesGolden(stable(answer.text), "mcp/golden/" + name + ".txt"));
    }
};

// --- vant_session ---------------------------------------------------------------

TEST_F(ThreadTools, SessionAnswers) {
    start();
    // Moved from /w/repo to /w/other: the projects block shows both; an unpriced
    // request brings the lower-bound warning.
    golden("session_changed_directory", "vant_session", {{"session_id", "aaaa1111"}});
    golden("session_one_project", "vant_session", {{"session_id", "BBBB"}, {"period", "7d"}});
    // Outside the period: the project still comes from the whole history.
    golden("session_outside_period", "vant_session",
           {{"session_id", S1}, {"from", "2025-02-01"}, {"to", "2025-02-03"}});
    golden("session_ambiguous", "vant_session", {{"session_id", "aaaa111"}});
    golden("session_unknown", "vant_session", {{"session_id", "zzzz"}});
}

TEST_F(ThreadTools, SessionRefusals) {
    start();
    for (const Json& args : {Json::object(), Json{{"session_id", ""}}, Json{{"session_id", 7}}}) {
        auto a = call("vant_session", args);
        EXPECT_TRUE(a.isError);
        EXPECT_EQ(a.text, "`session_id` is missing.");
    }
    // The subject is checked before the period.
    EXPECT_EQ(call("vant_session", {{"period", "week"}}).text, "`session_id` is missing.");
    auto bad = call("vant_session", {{"session_id", "aaaa1111"}, {"period", "week"}});
    EXPECT_TRUE(bad.isError);
    EXPECT_EQ(bad.text.rfind("unknown period \u201cweek\u201d", 0), 0u) << bad.text;
}

TEST_F(ThreadTools, SessionOverManyCandidatesCountsThemAll) {
    std::string lines;
    for (int i = 0; i < 30; ++i) {
        char id[40];
        std::snprintf(id, sizeof id, "cafe%04d-0000-4000-8000-000000000000", i);
        lines += usageLine(line(std::to_string(100 + i), "2025-03-11T12:00:00Z", id, "/w/many"));
    }
    fixture.transcript("-w-many/many.jsonl", lines);
    start(false);
    auto a = call("vant_session", {{"session_id", "cafe"}});
    EXPECT_FALSE(a.isError);
    EXPECT_EQ(a.text.rfind("The prefix \u201ccafe\u201d matches 30 sessions (the 25 dearest "
                           "shown) \u2014 pick one:\n  cafe0000-",
                           0),
              0u)
        << a.text;
    EXPECT_EQ(testing::lines(a.text).size(), 26u);
}

// --- vant_agent -------------------------------------------------------------------

TEST_F(ThreadTools, AgentAnswers) {
    start();
    // An exact name wins over the other name that contains it; two sessions, two
    // projects, two homes, and a roster entry without cwd.
    golden("agent_named", "vant_agent", {{"agent", "Reviewer"}});
    golden("agent_main", "vant_agent", {{"agent", " MAIN "}, {"period", "7d"}});
    golden("agent_anonymous", "vant_agent", {{"agent", "9f8e"}});
    golden("agent_outside_period", "vant_agent", {{"agent", reviewer2}, {"period", "yesterday"}});
    golden("agent_ambiguous", "vant_agent", {{"agent", "review"}});
    golden("agent_unknown", "vant_agent", {{"agent", "nobody"}});
}

TEST_F(ThreadTools, AgentRefusals) {
    start();
    for (const Json& args : {Json::object(), Json{{"agent", ""}}, Json{{"agent", false}}}) {
        auto a = call("vant_agent", args);
        EXPECT_TRUE(a.isError);
        EXPECT_EQ(a.text, "`agent` is missing.");
    }
    auto bad =
        call("vant_agent", {{"agent", "main"}, {"from", "2025-03-05"}, {"to", "2025-03-01"}});
    EXPECT_TRUE(bad.isError);
    EXPECT_EQ(bad.text, "reversed range: from=2025-03-05 is later than to");
}

TEST_F(ThreadTools, ListsCutLongNamesAndCapSessions) {
    // A named agent of 31 characters in 22 sessions, each dearer than the last.
    const std::string name = "a-very-long-agent-name-of-31-ch";
    ASSERT_EQ(name.size(), 31u);
    std::string lines;
    for (int i = 0; i < 22; ++i) {
        char session[40];
        std::snprintf(session, sizeof session, "dddd%04d-0000-4000-8000-000000000000", i);
        lines +=
            usageLine(line("x" + std::to_string(i), "2025-03-11T12:00:00Z", session, "/w/long",
                           "a" + name + "-0123456789abcdef", "claude-sonnet-4-5", 1000 * (i + 1)));
    }
    lines += usageLine(
        line("y", "2025-03-11T12:30:00Z", "dddd0021-0000-4000-8000-000000000000", "/w/long"));
    fixture.transcript("-w-long/long.jsonl", lines);
    start(false);

    auto session = call("vant_session", {{"session_id", "dddd0021"}});
    EXPECT_TRUE(contains(session.text,
                         "\n  a-very-long-agent-name-of-31-\u2026 $0.07 \u00b7 1 request \u00b7 "));
    EXPECT_TRUE(
        contains(session.text, "\n  (main session)                 $0.0045 \u00b7 1 request"));

    auto agent = call("vant_agent", {{"agent", name}});
    const auto from = agent.text.find("\nSESSIONS\n"), to = agent.text.find("\nPROJECTS\n");
    ASSERT_NE(from, std::string::npos);
    ASSERT_NE(to, std::string::npos);
    const std::string sessions = agent.text.substr(from, to - from);
    std::size_t rows = 0;
    for (std::size_t at = 0; (at = sessions.find("\n  dddd", at)) != std::string::npos; ++at)
        ++rows;
    EXPECT_EQ(rows, 20u);
    // The dearest first; the two cheapest left out; ids cut at 34 characters, marked so.
    EXPECT_TRUE(contains(sessions, "\n  dddd0021-0000-4000-8000-000000000\u2026  $0.07"));
    EXPECT_EQ(sessions.find("dddd0001-"), std::string::npos);
    EXPECT_EQ(sessions.find("dddd0000-"), std::string::npos);

    // What the lists print is accepted back.
    auto again = call("vant_agent", {{"agent", "a-very-long-agent-name-of-31-\u2026"}});
    EXPECT_EQ(again.text.rfind("Agent " + name + "  [", 0), 0u) << again.text;
    auto main = call("vant_agent", {{"agent", "(main session)"}});
    EXPECT_EQ(main.text.rfind("Agent main session (no agentId)", 0), 0u) << main.text;
    auto cutSession =
        call("vant_session", {{"session_id", "dddd0021-0000-4000-8000-000000000\u2026"}});
    EXPECT_EQ(cutSession.text.rfind("Session dddd0021-0000-4000-8000-000000000000", 0), 0u)
        << cutSession.text;
}

// --- vant_provenance ------------------------------------------------------------

TEST_F(ThreadTools, ProvenanceAnswers) {
    start();
    // The request copied into the resumed file counts once in the figure, twice
    // among the files.
    golden("provenance_all", "vant_provenance", {{"period", "all"}});
    golden("provenance_limit_one", "vant_provenance", {{"period", "all"}, {"limit", 0}});
    golden("provenance_filtered", "vant_provenance",
           {{"period", "7d"}, {"agent", "reviewer"}, {"project", "/w/repo"}, {"limit", "x"}});
    golden("provenance_empty_period", "vant_provenance",
           {{"from", "2025-02-01"}, {"to", "2025-02-02"}});
}

TEST_F(ThreadTools, ProvenanceRefusals) {
    start();
    // A bad period wins over a bad filter.
    auto a = call("vant_provenance", {{"period", "0d"}, {"agent", "nobody"}});
    EXPECT_TRUE(a.isError);
    EXPECT_EQ(a.text.rfind("unknown period \u201c0d\u201d", 0), 0u) << a.text;
    auto b = call("vant_provenance", {{"agent", "nobody"}});
    EXPECT_TRUE(b.isError);
    EXPECT_EQ(b.text.rfind("No agent matches \u201cnobody\u201d.", 0), 0u) << b.text;
    auto c = call("vant_provenance", {{"session_id", "aaaa111"}});
    EXPECT_TRUE(c.isError);
    EXPECT_EQ(c.text.rfind("The prefix \u201caaaa111\u201d matches 2 sessions:\n  ", 0), 0u)
        << c.text;
}

TEST_F(ThreadTools, ProvenanceListsTheDearestFilesAndCountsTheRest) {
    // 25 files of one request each; two of them cost the same as the dearest
    // and sort by path.
    for (int i = 0; i < 25; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "-w-many/f%02d.jsonl", i);
        std::int64_t input = i == 7 || i == 3 ? 90000 : 1000 + i;
        fixture.transcript(name, usageLine(line("m" + std::to_string(i), "2025-03-11T12:00:00Z",
                                                "s-" + std::to_string(i), "/w/many", "",
                                                "claude-sonnet-4-5", input)));
    }
    start(false);
    auto all = call("vant_provenance", {{"period", "yesterday"}});
    ASSERT_FALSE(all.isError) << all.text;
    EXPECT_TRUE(contains(all.text, "\nSOURCE FILES (25 files produced the figure)\n  "
                                   "~/.claude/projects/-w-many/f03.jsonl\n"));
    EXPECT_TRUE(contains(all.text, "f07.jsonl\n      home .claude \u00b7 1 request \u00b7 $0.27 "));
    EXPECT_TRUE(contains(all.text, "\n  (5 files more \u2014 raise `limit`)\n\nUNIFICATION\n"));
    std::size_t blocks = 0;
    for (std::size_t at = 0; (at = all.text.find("      home ", at)) != std::string::npos; ++at)
        ++blocks;
    EXPECT_EQ(blocks, 20u);

    auto one = call("vant_provenance", {{"period", "yesterday"}, {"limit", -4}});
    EXPECT_TRUE(contains(one.text, "-w-many/f03.jsonl\n"));
    EXPECT_EQ(one.text.find("f07.jsonl"), std::string::npos);
    EXPECT_TRUE(contains(one.text, "(24 files more"));
}

TEST_F(ThreadTools, ProvenanceLeavesOutFilesOutsideThePeriod) {
    start();
    // Yesterday: the resumed file holds only today's requests.
    auto a = call("vant_provenance", {{"period", "yesterday"}});
    EXPECT_TRUE(contains(a.text, "SOURCE FILES (2 files produced the figure)"));
    EXPECT_EQ(a.text.find(S1b), std::string::npos);
    EXPECT_TRUE(contains(a.text, "  no request duplicated across files\n"));
    // The loss block describes the whole scan, whatever the filter.
    auto b = call("vant_provenance", {{"period", "all"}, {"session_id", "bbbb"}});
    const std::string loss = "  usage lines seen            11\n";
    EXPECT_TRUE(contains(a.text, loss));
    EXPECT_TRUE(contains(b.text, loss));
}

// --- vant_sources -----------------------------------------------------------------

TEST_F(ThreadTools, SourcesAnswers) {
    start();
    golden("sources_first_call", "vant_sources", Json::object());
    // Past the freshness window the refresh starts from the cache and reads nothing.
    *fixture.monotonic += 20;
    auto again = call("vant_sources", {{"ignored", 1}});
    EXPECT_FALSE(again.isError);
    EXPECT_TRUE(contains(again.text,
                         "  at the last refresh: 3 unchanged \u00b7 0 grown \u00b7 0 new "
                         "\u00b7 0 re-read in full \u00b7 0 gone\n  files left untouched "
                         "100.0% of the total\n  started from cache: yes\n"));
    // The roster counters describe this call only; they never pile up.
    EXPECT_TRUE(contains(again.text, "  named agents seen     2 (matched: 1)\n"));
}

// --- one reading of the clock per call ----------------------------------------------

TEST_F(ThreadTools, EachCallReadsTheClockOnce) {
    writeHistory(fixture);
    auto reads = std::make_shared<int>(0);
    auto env = fixture.environment();
    // Each reading is a day later: two readings in one call would mix two days.
    env.wallClock = [reads, w = fixture.wall] { return *w + 86400.0 * (*reads)++; };
    data = std::make_shared<DataSource>(env);
    server = std::make_unique<MCPServer>(data);
    const std::pair<const char*, Json> calls[] = {
        {"vant_session", {{"session_id", "aaaa1111"}, {"period", "7d"}}},
        {"vant_agent", {{"agent", "reviewer"}, {"period", "today"}}},
        {"vant_provenance", {{"period", "yesterday"}, {"agent", "main"}}},
        {"vant_sources", Json::object()},
    };
    for (const auto& [tool, args] : calls) {
        const int before = *reads;
        auto a = call(tool, args);
        EXPECT_FALSE(a.isError) << tool << ": " << a.text;
        EXPECT_EQ(*reads - before, 1) << tool;
    }
}

// --- the shared history report ---------------------------------------------------

TEST_F(ThreadTools, HistoryIsKeptUntilTheNextRefresh) {
    start();
    auto first = data->history();
    EXPECT_EQ(first->total.requests, 9);
    EXPECT_EQ(data->history(), first); // inside the freshness window: the same report
    fixture.transcript("-w-new/late.jsonl",
                       usageLine(line("10", "2025-03-12T11:45:00Z", "cccc", "/w/new")));
    EXPECT_EQ(call("vant_session", {{"session_id", "cccc"}}).text.rfind("No session", 0), 0u);
    *fixture.monotonic += 20;
    auto second = data->history();
    EXPECT_NE(second, first);
    EXPECT_EQ(second->total.requests, 10);
    EXPECT_EQ(first->total.requests, 9); // a report already handed out never changes
    EXPECT_EQ(call("vant_session", {{"session_id", "cccc"}}).text.rfind("Session cccc \u2014", 0),
              0u);
}

// --- an empty machine -------------------------------------------------------------

TEST_F(ThreadTools, NoHistoryAtAll) {
    start(false);
    golden("empty_session", "vant_session", {{"session_id", "aaaa"}});
    golden("empty_agent", "vant_agent", {{"agent", "main"}});
    golden("empty_provenance", "vant_provenance", Json::object());
    golden("empty_sources", "vant_sources", Json::object());
}

TEST_F(ThreadTools, ProvenanceRepeatedAnswersFollowPeriodFiltersAndChangedFiles) {
    start();
    const Json all = {{"period", "all"}};
    const std::string first = call("vant_provenance", all).text;
    const std::string yesterday = call("vant_provenance", {{"period", "yesterday"}}).text;
    EXPECT_NE(yesterday, first);
    const std::string filtered =
        call("vant_provenance", {{"period", "all"}, {"agent", "main"}}).text;
    EXPECT_NE(filtered, first);
    EXPECT_EQ(call("vant_provenance", all).text, first);
    EXPECT_EQ(call("vant_provenance", {{"period", "yesterday"}}).text, yesterday);
    EXPECT_EQ(MCPServer(data).callTool("vant_provenance", {{"period", "yesterday"}}).text,
              yesterday);
    // A server that never answered before gives the same text.
    EXPECT_EQ(MCPServer(data).callTool("vant_provenance", all).text, first);

    // A grown file: the next refresh's answer counts the new request.
    fixture.transcript("-w-proj/grown.jsonl",
                       usageLine(line("new", "2025-03-11T09:00:00Z", "s-new", "/w/proj")));
    *fixture.monotonic += 20;
    const std::string after = call("vant_provenance", all).text;
    EXPECT_NE(after, first);
    EXPECT_TRUE(contains(after, "-w-proj/grown.jsonl"));
    EXPECT_EQ(MCPServer(data).callTool("vant_provenance", all).text, after);
}

} // namespace
} // namespace vantery::mcp
