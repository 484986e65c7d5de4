// vant_top_agents and vant_top_projects over a fixed history with the clock
// pinned in New York.
#include <gtest/gtest.h>

#include <cstdio>

#include "Contains.hpp"
#include "ServerFixture.hpp"
#include "ToolsHome.hpp"
#include "vantery/mcp/AnswerText.hpp"

using namespace vantery::mcp;
using namespace vantery::mcp::testing;

TEST(TopTools, GoldenAnswers) {
    const struct {
        const char* tool;
        const char* arguments;
        const char* golden;
    } answers[] = {
        // Roster lines: the reviewer's names type and model, the planner's only a type.
        {"vant_top_agents", R"({"period": "all"})", "top-agents-all.txt"},
        {"vant_top_agents", "{}", "top-agents-today.txt"},
        // Without the main session, cut to two; the split still counts the main session.
        {"vant_top_agents", R"({"period": "all", "limit": 2, "subagents_only": true})",
         "top-agents-subagents.txt"},
        // The project narrows the list, the split and the distinct count alike.
        {"vant_top_agents", R"({"period": "7d", "project": "BLOG"})", "top-agents-project.txt"},
        {"vant_top_projects", R"({"period": "all"})", "top-projects-all.txt"},
        {"vant_top_projects", "{}", "top-projects-today.txt"},
        // One agent under each project: the others are counted on an overflow line.
        {"vant_top_projects", R"({"period": "all", "limit": 2, "agents_per_project": 1})",
         "top-projects-overflow.txt"},
        // Filters narrow the projects and their agent lists alike.
        {"vant_top_projects", R"({"period": "all", "agent": "reviewer"})",
         "top-projects-agent.txt"},
    };
    ToolsHome t;
    for (const auto& a : answers)
        t.expectGolden(a.tool, a.arguments, a.golden);
    ToolsHome empty(true);
    empty.expectGolden("vant_top_agents", "{}", "top-agents-empty.txt");
    empty.expectGolden("vant_top_projects", R"({"period": "all"})", "top-projects-empty.txt");
}

TEST(TopAgentsTool, LimitsAndFlagsOfTheWrongTypeTakeTheirDefaults) {
    ToolsHome t;
    const std::string all = t.answer("vant_top_agents", R"({"period": "all"})");
    EXPECT_EQ(t.answer("vant_top_agents", R"({"period": "all", "limit": "2"})"), all);
    EXPECT_EQ(t.answer("vant_top_agents", R"({"period": "all", "subagents_only": "true"})"), all);
    EXPECT_EQ(t.answer("vant_top_agents", R"({"period": "all", "subagents_only": 1})"), all);
    // Below one lists one.
    for (const char* limit : {"0", "-4"}) {
        std::string one = t.answer("vant_top_agents",
                                   std::string(R"({"period": "all", "limit": )") + limit + "}");
        EXPECT_TRUE(contains(one, " 1. reviewer"));
        EXPECT_EQ(one.find(" 2. "), std::string::npos);
        EXPECT_TRUE(contains(one, "  distinct agents 4 (shown 1)\n"));
    }
}

TEST(TopAgentsTool, NothingPricedGivesTheUnknownSplit) {
    ToolsHome t;
    const std::string text =
        t.answer("vant_top_agents", R"({"period": "all", "project": "~/scratch/notes"})");
    EXPECT_TRUE(contains(text,
                         " 1. main session (no agentId)\n    cost      unknown (1 request, no "
                         "known price: mystery-model-x)\n"));
    EXPECT_TRUE(contains(text, "\nOF WHICH\n  unknown \u2014 nothing priced in range\n  distinct "
                               "agents 1 (shown 1)\n"));
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

TEST(TopProjectsTool, AgentsPerProject) {
    ToolsHome t;
    const std::string none =
        t.answer("vant_top_projects", R"({"period": "all", "agents_per_project": 0})");
    EXPECT_EQ(none.find("      \u00b7 "), std::string::npos);
    EXPECT_EQ(none.find("agents: unknown"), std::string::npos);
    EXPECT_EQ(t.answer("vant_top_projects", R"({"period": "all", "agents_per_project": -2})"),
              none);
    // Exactly as many agents as asked for: no overflow line. ~/code/shop has three.
    const std::string three =
        t.answer("vant_top_projects", R"({"period": "all", "limit": 1, "agents_per_project": 3})");
    EXPECT_EQ(three.find(" more)"), std::string::npos) << three;
    EXPECT_TRUE(contains(three, "      \u00b7 (main session)               "));
    const std::string two =
        t.answer("vant_top_projects", R"({"period": "all", "limit": 1, "agents_per_project": 2})");
    EXPECT_TRUE(contains(two, "      (1 agent more)\n"));
    // A string is no integer: the default of 3.
    EXPECT_EQ(t.answer("vant_top_projects",
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
        const std::string text = t.answer("vant_top_projects", args);
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
    EXPECT_TRUE(contains(agents, "\n 1. worker15  [aworker15-0123456789abcdef]\n"));
    EXPECT_TRUE(contains(agents, "\n 9. worker07  ["));
    EXPECT_TRUE(contains(agents, "\n10. worker06  ["));
    EXPECT_TRUE(contains(agents, "\n15. worker01  ["));
    EXPECT_EQ(agents.find("worker00"), std::string::npos) << agents;
    EXPECT_TRUE(contains(agents, "\n  distinct agents 16 (shown 15)\n"));
    EXPECT_EQ(server.callTool("vant_top_agents", Json::parse(R"({"limit": "3"})")).text, agents);

    const std::string projects = server.callTool("vant_top_projects", Json::object()).text;
    EXPECT_TRUE(contains(projects, "\n 1. /w/p15\n"));
    EXPECT_TRUE(contains(projects, "\n10. /w/p06\n"));
    EXPECT_EQ(projects.find("/w/p05"), std::string::npos) << projects;
    EXPECT_EQ(server.callTool("vant_top_projects", Json::parse(R"({"limit": 2.5})")).text,
              projects);
}
