// vant_top_agents and vant_top_projects over a fixed history with the clock
// pinned in New York.
#include <gtest/gtest.h>

#include <cstdio>

#include "Golden.hpp"
#include "ServerFixture.hpp"
#include "ToolsHome.hpp"
#include "vantery/mcp/AnswerText.hpp"

using namespace vantery::mcp;
using namespace vantery::mcp::testing;
using vantery::testing::matchesGolden;

namespace {

std::string answer(ToolsHome& t, const std::string& tool, const std::string& arguments) {
    auto a = t.call(tool, arguments);
    EXPECT_FALSE(a.isError) << a.text;
    return a.text;
}

} // namespace

TEST(TopAgentsTool, GoldenAnswers) {
    ToolsHome t;
    // Roster lines: the reviewer's names type and model, the planner's only a type.
    EXPECT_TRUE(matchesGolden(answer(t, "vant_top_agents", R"({"period": "all"})"),
                              toolGolden("top-agents-all.txt")));
    EXPECT_TRUE(
        matchesGolden(answer(t, "vant_top_agents", "{}"), toolGolden("top-agents-today.txt")));
    // Without the main session, cut to two; the split still counts the main session.
    EXPECT_TRUE(matchesGolden(
        answer(t, "vant_top_agents", R"({"period": "all", "limit": 2, "subagents_only": true})"),
        toolGolden("top-agents-subagents.txt")));
    // The project narrows the list, the split and the distinct count alike.
    EXPECT_TRUE(
        matchesGolden(answer(t, "vant_top_agents", R"({"period": "7d", "project": "BLOG"})"),
                      toolGolden("top-agents-project.txt")));
    ToolsHome empty(true);
    EXPECT_TRUE(
        matchesGolden(answer(empty, "vant_top_agents", "{}"), toolGolden("top-agents-empty.txt")));
}

TEST(TopAgentsTool, LimitsAndFlagsOfTheWrongTypeTakeTheirDefaults) {
    ToolsHome t;
    const std::string all = answer(t, "vant_top_agents", R"({"period": "all"})");
    EXPECT_EQ(answer(t, "vant_top_agents", R"({"period": "all", "limit": "2"})"), all);
    EXPECT_EQ(answer(t, "vant_top_agents", R"({"period": "all", "subagents_only": "true"})"), all);
    EXPECT_EQ(answer(t, "vant_top_agents", R"({"period": "all", "subagents_only": 1})"), all);
    // Below one lists one.
    for (const char* limit : {"0", "-4"}) {
        std::string one = answer(t, "vant_top_agents",
                                 std::string(R"({"period": "all", "limit": )") + limit + "}");
        EXPECT_NE(one.find(" 1. reviewer"), std::string::npos);
        EXPECT_EQ(one.find(" 2. "), std::string::npos);
        EXPECT_NE(one.find("  distinct agents 4 (shown 1)\n"), std::string::npos);
    }
}

TEST(TopAgentsTool, NothingPricedGivesTheUnknownSplit) {
    ToolsHome t;
    const std::string text =
        answer(t, "vant_top_agents", R"({"period": "all", "project": "~/scratch/notes"})");
    EXPECT_NE(text.find(" 1. main session (no agentId)\n    cost      unknown (1 request, no "
                        "known price: mystery-model-x)\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nOF WHICH\n  unknown \u2014 nothing priced in range\n  distinct "
                        "agents 1 (shown 1)\n"),
              std::string::npos)
        << text;
}

TEST(TopAgentsTool, RefusesLikeEveryFilteredTool) {
    ToolsHome t;
    auto a = t.call("vant_top_agents", R"({"project": "shop"})");
    EXPECT_TRUE(a.isError);
    EXPECT_EQ(a.text.rfind("\u201cshop\u201d matches 2 projects:\n  ~/code/shop \u2014 ", 0), 0u);
    a = t.call("vant_top_agents", R"({"period": "0d"})");
    EXPECT_TRUE(a.isError);
    EXPECT_EQ(a.text.rfind("unknown period \u201c0d\u201d", 0), 0u);
}

TEST(TopProjectsTool, GoldenAnswers) {
    ToolsHome t;
    EXPECT_TRUE(matchesGolden(answer(t, "vant_top_projects", R"({"period": "all"})"),
                              toolGolden("top-projects-all.txt")));
    EXPECT_TRUE(
        matchesGolden(answer(t, "vant_top_projects", "{}"), toolGolden("top-projects-today.txt")));
    // One agent under each project: the others are counted on an overflow line.
    EXPECT_TRUE(matchesGolden(
        answer(t, "vant_top_projects", R"({"period": "all", "limit": 2, "agents_per_project": 1})"),
        toolGolden("top-projects-overflow.txt")));
    // Filters narrow the projects and their agent lists alike.
    EXPECT_TRUE(
        matchesGolden(answer(t, "vant_top_projects", R"({"period": "all", "agent": "reviewer"})"),
                      toolGolden("top-projects-agent.txt")));
    ToolsHome empty(true);
    EXPECT_TRUE(matchesGolden(answer(empty, "vant_top_projects", R"({"period": "all"})"),
                              toolGolden("top-projects-empty.txt")));
}

TEST(TopProjectsTool, AgentsPerProject) {
    ToolsHome t;
    const std::string none =
        answer(t, "vant_top_projects", R"({"period": "all", "agents_per_project": 0})");
    EXPECT_EQ(none.find("      \u00b7 "), std::string::npos);
    EXPECT_EQ(none.find("agents: unknown"), std::string::npos);
    EXPECT_EQ(answer(t, "vant_top_projects", R"({"period": "all", "agents_per_project": -2})"),
              none);
    // Exactly as many agents as asked for: no overflow line. ~/code/shop has three.
    const std::string three =
        answer(t, "vant_top_projects", R"({"period": "all", "limit": 1, "agents_per_project": 3})");
    EXPECT_EQ(three.find(" more)"), std::string::npos) << three;
    EXPECT_NE(three.find("      \u00b7 (main session)               "), std::string::npos);
    const std::string two =
        answer(t, "vant_top_projects", R"({"period": "all", "limit": 1, "agents_per_project": 2})");
    EXPECT_NE(two.find("      (1 agent more)\n"), std::string::npos) << two;
    // A string is no integer: the default of 3.
    EXPECT_EQ(answer(t, "vant_top_projects",
                     R"({"period": "all", "limit": 1, "agents_per_project": "1"})"),
              three);
}

TEST(TopProjectsTool, AgentListsMatchOneFilteredReportPerProject) {
    // The agents under each project are those of a report made with a predicate on
    // the record's project (its working directory resolved alone) and the filters.
    ToolsHome t;
    const vantery::ProjectResolver& resolver = t.data->resolver();
    for (const char* args :
         {R"({"period": "all", "agents_per_project": 9})",
          R"({"period": "7d", "agents_per_project": 9})",
          R"({"period": "yesterday", "agents_per_project": 9})",
          R"({"period": "all", "agents_per_project": 9, "agent": "reviewer"})"}) {
        const Json arguments = Json::parse(args);
        const std::string text = answer(t, "vant_top_projects", args);
        const Period period = t.server->period(arguments, "today");
        const auto filters = t.server->buildFilters(arguments);
        std::string expected;
        const auto projects = t.data->report(period, filters.predicate).topProjects(10);
        for (const auto& project : projects) {
            const std::string label = project.key;
            // The project compared as text, row by row, apart from the id-based filter.
            const vantery::mcp::RecordFilter byText([&](const vantery::RequestDictionary& d) {
                auto inner = filters.predicate.bind(d);
                return [&d, &resolver, &label, inner](const vantery::RequestRow& r) {
                    return resolver.resolve(d.cwd(r.cwd), "").canonical == label &&
                           (!inner || inner(r));
                };
            });
            auto agents = t.data->report(period, byText).topAgents(9, true);
            expected += ". " + label + "\n";
            for (const auto& a : agents)
                expected += "      \u00b7 " + AnswerText::fit(AnswerText::agentLabel(a.key), 28) +
                            " " + AnswerText::cost(a.value) + " \u00b7 " +
                            AnswerText::noun(a.value.requests, "request", "requests") + "\n";
        }
        // Keep only the project titles and agent lines of the answer.
        std::string got;
        std::size_t pos = 0;
        while (pos < text.size()) {
            std::size_t nl = text.find('\n', pos);
            std::string line = text.substr(pos, nl - pos + 1);
            if (line.rfind("      \u00b7 ", 0) == 0)
                got += line;
            else if (line.size() > 4 && line[2] == '.' && line[3] == ' ')
                got += line.substr(2);
            pos = nl + 1;
        }
        EXPECT_EQ(got, expected) << args;
        EXPECT_FALSE(projects.empty()) << args;
    }
}

TEST(TopTools, DefaultLimitsAndTwoColumnNumbers) {
    // Sixteen named agents in sixteen projects today, the dearer the later.
    ServerFixture f; // 2025-03-12 08:00 in New York
    std::string lines;
    for (int i = 0; i < 16; ++i) {
        char id[8];
        std::snprintf(id, sizeof id, "%02d", i);
        Line l;
        l.timestamp = "2025-03-12T11:00:00Z";
        l.messageId = std::string("msg_") + id;
        l.requestId = std::string("req_") + id;
        l.cwd = std::string("/w/p") + id;
        l.agentId = std::string("aworker") + id + "-0123456789abcdef";
        l.input = 1000 * (i + 1);
        lines += usageLine(l);
    }
    f.transcript("p/s.jsonl", lines);
    MCPServer server(f.make());

    const std::string agents = server.callTool("vant_top_agents", Json::object()).text;
    EXPECT_NE(agents.find("\n 1. worker15  [aworker15-0123456789abcdef]\n"), std::string::npos)
        << agents;
    EXPECT_NE(agents.find("\n 9. worker07  ["), std::string::npos) << agents;
    EXPECT_NE(agents.find("\n10. worker06  ["), std::string::npos) << agents;
    EXPECT_NE(agents.find("\n15. worker01  ["), std::string::npos) << agents;
    EXPECT_EQ(agents.find("worker00"), std::string::npos) << agents;
    EXPECT_NE(agents.find("\n  distinct agents 16 (shown 15)\n"), std::string::npos) << agents;
    EXPECT_EQ(server.callTool("vant_top_agents", Json::parse(R"({"limit": "3"})")).text, agents);

    const std::string projects = server.callTool("vant_top_projects", Json::object()).text;
    EXPECT_NE(projects.find("\n 1. /w/p15\n"), std::string::npos) << projects;
    EXPECT_NE(projects.find("\n10. /w/p06\n"), std::string::npos) << projects;
    EXPECT_EQ(projects.find("/w/p05"), std::string::npos) << projects;
    EXPECT_EQ(server.callTool("vant_top_projects", Json::parse(R"({"limit": 2.5})")).text,
              projects);
}
