#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>

#include "ServerFixture.hpp"
#include "vantery/mcp/AnswerText.hpp"
#include "vantery/mcp/Protocol.hpp"

using namespace vantery;
using namespace vantery::mcp;
using namespace vantery::mcp::testing;

namespace {

Bucket costing(double dollars) {
    Bucket b;
    b.requests = 1;
    b.cost.priced = dollars;
    return b;
}

std::string lineOf(std::string label, double dollars) {
    return label + " \u2014 " + AnswerText::cost(costing(dollars));
}

Line request(std::string id, std::string session = "s1") {
    Line l;
    l.messageId = "msg_" + id;
    l.requestId = "req_" + id;
    l.sessionId = std::move(session);
    return l;
}

} // namespace

TEST(DataSourceEnvironment, CachePathWithTildeCreatesItsFolder) {
    ServerFixture f;
    f.variables["VANTERY_CACHE_PATH"] = "~/deep/missing/c.bin";
    auto data = f.make();
    EXPECT_EQ(data->cache().cachePath(), f.home / "deep/missing/c.bin");
    EXPECT_TRUE(std::filesystem::is_directory(f.home / "deep/missing"));
}

TEST(DataSourceEnvironment, EmptyVariablesCountAsUnset) {
    ServerFixture f;
    // The default cache location follows the process environment; keep it in the test folder.
    ::setenv("XDG_DATA_HOME", (f.home / "xdg").c_str(), 1);
    f.variables["VANTERY_CACHE_PATH"] = "";
    f.variables["VANTERY_HOME"] = "";
    auto data = f.make();
    EXPECT_EQ(data->cache().cachePath(), f.home / "xdg/ro.kelvora.vantery/scan-cache.v2.bin");
    ASSERT_EQ(data->homes().size(), 4u);
    EXPECT_EQ(data->homes()[0].projectsPath, f.home / ".claude/projects");
    ::unsetenv("XDG_DATA_HOME");
}

TEST(DataSourceEnvironment, HomesFollowVanteryHomeWhileProjectsResolveAgainstTheRealHome) {
    ServerFixture f;
    f.variables["VANTERY_HOME"] = f.home / "elsewhere";
    auto data = f.make();
    std::vector<std::string> names;
    for (const auto& h : data->homes())
        names.push_back(h.name);
    EXPECT_EQ(names, (std::vector<std::string>{".claude", ".claude-work", ".claude-outlook",
                                               ".claude-yahoo"}));
    EXPECT_EQ(data->homes()[1].projectsPath, f.home / "elsewhere/.claude-work/projects");
    EXPECT_EQ(data->resolver().home(), f.home.path());
    EXPECT_EQ(data->shortened(f.home / "a/b"), "~/a/b");
    // A plain text prefix, as project labels fold it.
    EXPECT_EQ(data->shortened(f.home.path() + "x/b"), "~x/b");
    EXPECT_EQ(data->shortened("/elsewhere"), "/elsewhere");
}

TEST(DataSourceEnvironment, HandlersAndReportsSettleOnOneLabelPerDirectory) {
    ServerFixture f;
    Line l = request("1");
    l.cwd = f.home / "repo/sub";
    f.transcript("p/a.jsonl", usageLine(l));
    auto data = f.make();
    // Resolved by a handler before the repository appears; reports resolving afresh
    // would fold the same directory to ~/repo.
    EXPECT_EQ(data->resolver().resolve(*l.cwd).canonical, "~/repo/sub");
    f.home.mkdir("repo/.git");
    const Report report = data->report(Period::all(), {});
    EXPECT_EQ(report.byProject.count("~/repo/sub"), 1u);
    EXPECT_EQ(report.byProject.size(), 1u);
}

TEST(DataSourceFreshness, RefreshesAtMostOncePerWindowOnTheMonotonicClock) {
    ServerFixture f;
    f.transcript("p/a.jsonl", usageLine(request("1")));
    auto data = f.make();

    auto requests = [&] { return data->report(Period::all(), {}).total.requests; };
    EXPECT_EQ(requests(), 1); // t = 0: first refresh

    f.transcript("p/b.jsonl", usageLine(request("2")));
    *f.monotonic += 5;
    *f.wall -= 3600; // the wall clock stepping back changes nothing
    EXPECT_EQ(requests(), 1) << "a call 5 s later must not rescan";

    *f.monotonic += 15; // t = 20
    EXPECT_EQ(requests(), 2) << "a call 20 s after the first must rescan";
    EXPECT_EQ(data->ensureFresh().filesTotal, 2);
}

TEST(DataSourceFreshness, FirstRefreshLoadsTheSavedCacheAndReadsTheRosterOnce) {
    ServerFixture f;
    f.transcript("p/a.jsonl", usageLine(request("1")));
    f.home.write(".claude/teams/session-abc/config.json",
                 R"({"members":[{"agentId":"rev@session-abcdef01","agentType":"reviewer"}]})");
    {
        auto first = f.make();
        EXPECT_FALSE(first->ensureFresh().fromCache);
        first->keepCache();
        EXPECT_TRUE(std::filesystem::exists(f.home / "cache/scan-cache.bin"));
    }
    auto second = f.make();
    const auto& stats = second->ensureFresh();
    EXPECT_TRUE(stats.fromCache);
    EXPECT_EQ(stats.filesUnchanged, 1);
    EXPECT_EQ(second->table().size(), 1u);
    EXPECT_EQ(second->roster().coverage().rostersRead, 1);
    *f.monotonic += 60;
    second->ensureFresh();
    EXPECT_EQ(second->roster().coverage().rostersRead, 1) << "rosters are read once per process";
}

TEST(DataSourceFreshness, ARefreshThatChangedNothingLeavesTheCacheFileAlone) {
    ServerFixture f;
    f.transcript("p/a.jsonl", usageLine(request("1")));
    const auto file = f.home / "cache/scan-cache.bin";
    // Every save writes a new file and renames it over the old one.
    auto inode = [&] {
        struct stat st {};
        return ::stat(file.c_str(), &st) == 0 ? st.st_ino : ino_t(0);
    };
    ino_t written = 0;
    {
        auto data = f.make();
        data->ensureFresh();
        EXPECT_EQ(inode(), ino_t(0)) << "the answer does not wait on the save";
        data->keepCache();
        written = inode();
        ASSERT_NE(written, ino_t(0));
        *f.monotonic += 20;
        EXPECT_EQ(data->ensureFresh().filesUnchanged, 1);
        data->keepCache();
        EXPECT_EQ(inode(), written) << "nothing changed: the file is not rewritten";

        f.transcript("p/a.jsonl", usageLine(request("2")));
        *f.monotonic += 20;
        EXPECT_EQ(data->ensureFresh().filesGrown, 1);
        data->keepCache();
        EXPECT_NE(inode(), written) << "a grown file is saved";
        written = inode();
    }
    // A new process that loaded the file and finds nothing changed keeps it too.
    auto again = f.make();
    EXPECT_TRUE(again->ensureFresh().fromCache);
    EXPECT_EQ(again->table().size(), 2u);
    EXPECT_EQ(inode(), written);
    f.transcript("p/b.jsonl", usageLine(request("3")));
    *f.monotonic += 20;
    EXPECT_EQ(again->ensureFresh().filesNew, 1);
    again->keepCache();
    EXPECT_NE(inode(), written);
    auto third = f.make();
    EXPECT_EQ(third->report(Period::all(), {}).total.requests, 3);
}

TEST(DataSourceFreshness, HistoryFollowsEachRefreshWhetherOrNotRecordsChanged) {
    ServerFixture f;
    f.transcript("p/a.jsonl", usageLine(request("1")));
    auto data = f.make();
    auto first = data->history();
    EXPECT_EQ(first->total.requests, 1);

    // Nothing changed: the same figures, with the diagnostics of the new refresh.
    *f.monotonic += 20;
    data->ensureFresh();
    auto kept = data->history();
    EXPECT_EQ(kept->total.requests, 1);
    EXPECT_EQ(kept->bySession.size(), first->bySession.size());
    EXPECT_EQ(kept->diagnostics.duration, data->diagnostics().duration);
    EXPECT_EQ(kept->diagnostics.usageLines, 1);
    EXPECT_EQ(data->history(), kept) << "shared until the next refresh";

    f.transcript("p/a.jsonl", usageLine(request("2", "s2")));
    *f.monotonic += 20;
    auto grown = data->history();
    EXPECT_EQ(grown->total.requests, 2);
    EXPECT_EQ(grown->bySession.size(), 2u);
    EXPECT_EQ(grown->diagnostics.usageLines, 2);
    EXPECT_EQ(grown->diagnostics.duration, data->diagnostics().duration);
}

TEST(DataSourceFreshness, ReportKeepsFilteredRecordsAndTheWholeScanDiagnostics) {
    ServerFixture f;
    Line a = request("1"), b = request("2", "s2");
    b.timestamp = "2025-03-11T12:00:00Z";
    f.transcript("p/a.jsonl", usageLine(a) + usageLine(b) + "not json\n");
    auto data = f.make();
    Period day{LocalDay::fromYMD(2025, 3, 10), LocalDay::fromYMD(2025, 3, 10), "d", false, true};
    Report r = data->report(day, {});
    EXPECT_EQ(r.total.requests, 1);
    EXPECT_FALSE(r.byHour.empty()) << "a single day gets hours by default";
    EXPECT_EQ(r.diagnostics.rejectedInvalidJSON, data->diagnostics().rejectedInvalidJSON);
    EXPECT_TRUE(data->report(day, {}, false).byHour.empty());
    Report onlyS2 = data->report(Period::all(), RecordFilter::session("s2"));
    EXPECT_EQ(onlyS2.total.requests, 1);
    EXPECT_EQ(onlyS2.bySession.begin()->first, "s2");
    EXPECT_EQ(data->report(Period::all(), RecordFilter::session("s3")).total.requests, 0)
        << "a text no request holds keeps none";
}

class Resolve : public ::testing::Test {
  protected:
    ServerFixture f;
    std::shared_ptr<DataSource> data = f.make();
    Report report;
};

TEST_F(Resolve, BlankQueriesAndTheMainSession) {
    auto none = data->resolveAgent(" \t ", report);
    EXPECT_EQ(none.kind, DataSource::Resolution<AgentIdentity>::Kind::none);
    EXPECT_EQ(none.query, " \t ");
    EXPECT_EQ(data->resolveAgent(" MAIN Session\t", report).kind,
              DataSource::Resolution<AgentIdentity>::Kind::none);
    report.byAgent.set(AgentIdentity(), costing(1));
    for (const char* q : {"main", " MAIN Session\t", "Main-Session"}) {
        auto r = data->resolveAgent(q, report);
        ASSERT_EQ(r.kind, DataSource::Resolution<AgentIdentity>::Kind::one) << q;
        EXPECT_EQ(*r.match, AgentIdentity());
    }
    EXPECT_EQ(data->resolveProject("", report).kind,
              DataSource::Resolution<std::string>::Kind::none);
}

TEST_F(Resolve, EveryPrintedAgentFormComesBack) {
    using Kind = DataSource::Resolution<AgentIdentity>::Kind;
    const auto anon = AgentIdentity::anonymous("a3f9c21d0e4b5a6f");
    const auto rev = AgentIdentity::named("reviewer", "areviewer-0123456789abcdef");
    const auto pre = AgentIdentity::named("rev", "arev-0123456789abcdef");
    report.byAgent.set(AgentIdentity(), costing(1));
    report.byAgent.set(anon, costing(2));
    report.byAgent.set(rev, costing(3));
    report.byAgent.set(pre, costing(4));
    for (const char* q : {"(main session)", "main session (no agentId)"})
        EXPECT_EQ(*data->resolveAgent(q, report).match, AgentIdentity()) << q;
    EXPECT_EQ(*data->resolveAgent("anon:a3f9c21", report).match, anon);
    EXPECT_EQ(*data->resolveAgent(AnswerText::agentLabel(anon), report).match, anon);
    EXPECT_EQ(*data->resolveAgent(AnswerText::agent(anon), report).match, anon);
    EXPECT_EQ(*data->resolveAgent(AnswerText::agent(pre), report).match, pre);
    // A cut name is a head: "rev…" is not the agent named "rev" alone.
    EXPECT_EQ(data->resolveAgent("rev\u2026", report).kind, Kind::many);
    EXPECT_EQ(*data->resolveAgent("revi\u2026", report).match, rev);
    EXPECT_EQ(data->resolveAgent("anon:zz", report).kind, Kind::none);

    // Cut project labels and session ids are heads too, never fragments found inside.
    report.byProject["/Users/dev/Source/claude-code-archiver"] = costing(1);
    report.byProject["/Users/dev/Source/claude-code"] = costing(2);
    report.byProject["/x/Users/dev/Source/claude-code-archiver"] = costing(3);
    EXPECT_EQ(
        *data->resolveProject(AnswerText::fit("/Users/dev/Source/claude-code-archiver", 34), report)
             .match,
        "/Users/dev/Source/claude-code-archiver");
    report.bySession["aaaa1111-1111-4111-8111-111111111111"] = costing(1);
    EXPECT_EQ(
        *data->resolveSession(AnswerText::fit("aaaa1111-1111-4111-8111-111111111111", 34), report)
             .match,
        "aaaa1111-1111-4111-8111-111111111111");
}

TEST_F(Resolve, AnExactAgentNameBeatsNamesThatContainIt) {
    auto rev = AgentIdentity::named("rev", "arev-0123456789abcdef");
    report.byAgent.set(rev, costing(1));
    report.byAgent.set(AgentIdentity::named("reviewer", "areviewer-0123456789abcdef"), costing(5));
    report.byAgent.set(AgentIdentity::named("prerev", "aprerev-0123456789abcdef"), costing(9));
    auto r = data->resolveAgent(" Rev ", report);
    ASSERT_EQ(r.kind, DataSource::Resolution<AgentIdentity>::Kind::one);
    EXPECT_EQ(*r.match, rev);
    // A raw id, in any case, matches exactly too.
    EXPECT_EQ(*data->resolveAgent("AREV-0123456789ABCDEF", report).match, rev);
}

TEST_F(Resolve, SeveralExactAgentsAreListedSortedWithoutCost) {
    report.byAgent.set(AgentIdentity::named("rev", "arev-1111111111111111"), costing(1));
    report.byAgent.set(AgentIdentity::named("rev", "arev-0000000000000000"), costing(5));
    auto r = data->resolveAgent("rev", report);
    ASSERT_EQ(r.kind, DataSource::Resolution<AgentIdentity>::Kind::many);
    EXPECT_EQ(r.matches, 2);
    EXPECT_EQ(r.lines, (std::vector<std::string>{"rev  [arev-0000000000000000]",
                                                 "rev  [arev-1111111111111111]"}));
}

TEST_F(Resolve, FuzzyCandidatesAreOrderedByCostThenLabel) {
    report.byAgent.set(AgentIdentity::anonymous("ab12-cheap"), costing(1));
    report.byAgent.set(AgentIdentity::anonymous("ab12-dear"), costing(7));
    report.byAgent.set(AgentIdentity::anonymous("ab12-b-tie"), costing(3));
    report.byAgent.set(AgentIdentity::anonymous("ab12-a-tie"), costing(3));
    report.byAgent.set(AgentIdentity::anonymous("zz-ab12"), costing(100)); // contains, not a prefix
    auto r = data->resolveAgent("AB12", report);
    ASSERT_EQ(r.kind, DataSource::Resolution<AgentIdentity>::Kind::many);
    EXPECT_EQ(r.lines, (std::vector<std::string>{
                           lineOf("anonymous agent  [ab12-dear]", 7),
                           lineOf("anonymous agent  [ab12-a-tie]", 3),
                           lineOf("anonymous agent  [ab12-b-tie]", 3),
                           lineOf("anonymous agent  [ab12-cheap]", 1),
                       }));
    EXPECT_EQ(data->resolveAgent("zz-ab", report).kind,
              DataSource::Resolution<AgentIdentity>::Kind::one);
    EXPECT_EQ(data->resolveAgent("nothing", report).query, "nothing");
}

TEST_F(Resolve, ProjectsExactFirstThenFragments) {
    report.byProject["~/src/app"] = costing(1);
    report.byProject["~/src/app-web"] = costing(4);
    report.byProject["~/src/tools"] = costing(9);
    auto exact = data->resolveProject("~/SRC/App", report);
    ASSERT_EQ(exact.kind, DataSource::Resolution<std::string>::Kind::one);
    EXPECT_EQ(*exact.match, "~/src/app");
    auto several = data->resolveProject("src", report);
    ASSERT_EQ(several.kind, DataSource::Resolution<std::string>::Kind::many);
    EXPECT_EQ(several.lines,
              (std::vector<std::string>{lineOf("~/src/tools", 9), lineOf("~/src/app-web", 4),
                                        lineOf("~/src/app", 1)}));
    EXPECT_EQ(*data->resolveProject("web", report).match, "~/src/app-web");
}

TEST_F(Resolve, SessionsByPrefixShowTheDearest25OfAllMatches) {
    for (int i = 0; i < 30; ++i) {
        char id[32];
        std::snprintf(id, sizeof id, "cafe%02d-session", i);
        report.bySession[id] = costing(i);
    }
    report.bySession["xcafe"] = costing(1000); // contains the prefix, does not start with it
    auto r = data->resolveSession("CAFE", report);
    ASSERT_EQ(r.kind, DataSource::Resolution<std::string>::Kind::many);
    EXPECT_EQ(r.matches, 30);
    ASSERT_EQ(r.lines.size(), 25u);
    EXPECT_EQ(r.lines.front(), lineOf("cafe29-session", 29));
    EXPECT_EQ(r.lines.back(), lineOf("cafe05-session", 5));
    EXPECT_EQ(*data->resolveSession("cafe07", report).match, "cafe07-session");
}

TEST_F(Resolve, RawIdsThatDifferOnlyInCaseAreTwoAgents) {
    using Kind = DataSource::Resolution<AgentIdentity>::Kind;
    const auto lower = AgentIdentity::named("planner", "aplanner-0123456789abcdef");
    const auto upper = AgentIdentity::anonymous("aplanner-0123456789ABCDEF");
    report.byAgent.set(lower, costing(1));
    report.byAgent.set(upper, costing(2));
    EXPECT_EQ(*data->resolveAgent("aplanner-0123456789ABCDEF", report).match, upper);
    EXPECT_EQ(*data->resolveAgent(" aplanner-0123456789abcdef ", report).match, lower);
    // The raw id in brackets decides, whatever the case of the name before it.
    EXPECT_EQ(*data->resolveAgent("PLANNER  [aplanner-0123456789abcdef]", report).match, lower);
    auto neither = data->resolveAgent("APLANNER-0123456789ABCDEF", report);
    ASSERT_EQ(neither.kind, Kind::many);
    EXPECT_EQ(neither.lines,
              (std::vector<std::string>{"anonymous agent  [aplanner-0123456789ABCDEF]",
                                        "planner  [aplanner-0123456789abcdef]"}));
}

// The reply goes out first; the cache file is written before the next request is read.
TEST(DataSourceFreshness, TheServeLoopKeepsTheCacheAfterEachReply) {
    ServerFixture f;
    f.transcript("p/a.jsonl", usageLine(request("1")));
    const auto file = f.home / "cache/scan-cache.bin";
    MCPServer server(f.make());
    std::istringstream in(
        R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"vant_overview"}})"
        "\n"
        R"({"jsonrpc":"2.0","id":2,"method":"ping"})"
        "\n");
    std::vector<bool> keptBeforeReply;
    const bool open = Protocol::serve(
        in, server, [](std::string_view) {},
        [&](std::string_view) {
            keptBeforeReply.push_back(std::filesystem::exists(file));
            return true;
        });
    EXPECT_TRUE(open);
    EXPECT_EQ(keptBeforeReply, (std::vector<bool>{false, true}));
}
