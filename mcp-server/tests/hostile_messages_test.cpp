#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "Contains.hpp"
#include "ServerFixture.hpp"
#include "StrayControls.hpp"
#include "Transcripts.hpp"
#include "vantery/base/Text.hpp"
#include "vantery/mcp/AnswerText.hpp"
#include "vantery/mcp/Json.hpp"
#include "vantery/mcp/Protocol.hpp"

using namespace vantery;
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

namespace {

std::string plain(std::string_view s) {
    return std::string(text::trimmed(text::cleanedName(s)));
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

// The text between `lead` at the start of a line and the first `until` after it (the
// end of the line when empty), on the lines of the block under the title `block` (all
// lines when empty).
void collect(const std::string& answer, std::string_view block, std::string_view lead,
             std::string_view until, std::set<std::string>& into) {
    bool inside = block.empty();
    for (const std::string& line : linesOf(answer)) {
        if (!block.empty()) {
            if (line.starts_with(block)) inside = true;
            if (line.empty()) inside = false;
        }
        if (!inside || !line.starts_with(lead)) continue;
        const std::size_t end = until.empty() ? line.size() : line.find(until, lead.size());
        if (end != std::string::npos) into.insert(line.substr(lead.size(), end - lead.size()));
    }
}

// The candidates an ambiguous answer lists, as a person reads them, without their cost.
std::set<std::string> candidatesIn(const std::string& answer) {
    std::set<std::string> out;
    const auto lines = linesOf(answer);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::string c = plain(lines[i]);
        if (auto dash = c.rfind(" \u2014 $"); dash != std::string::npos) c.resize(dash);
        out.insert(c);
    }
    return out;
}

// Cut or padded as the lists print a label.
std::set<std::string> listed(const std::string& label) {
    return {plain(label), plain(AnswerText::fit(label, 28)), plain(AnswerText::fit(label, 34))};
}

} // namespace

// Every label the listing answers print over a home of hostile names is taken back: it
// reaches the agent, project or session it was printed for, or, when it was printed for
// several, lists exactly those. What a label was printed for is worked out here from
// the printed forms; what the server does with it is only ever asked through its tools.
TEST(HostileNames, EveryPrintedLabelResolvesBack) {
    using namespace std::string_literals;
    ServerFixture f;
    *f.wall = 1741780800.0;
    const std::string longName(45, 'x');
    const std::string cwds[] = {
        "/w/\u05E9\u05DC\u05D5\u05DD",                     // right-to-left
        "/tmp/ev\u202Eil\\u0000/proj",                     // override and NUL
        "/w/tag\U000E0041\U000E0042\u2028ged\u200B\uFEFF", // hidden text, a line break
        "/w/" + longName + "/deep",                        // cut in lists
        "/w/Case",
        "/w/case",
        "/srv/app", // two projects that print alike
        "/srv/app\u200B",
    };
    const std::string agents[] = {
        "",                                                  // the main session
        "anul\\u0000byte-0123456789abcdef",                  // "nulbyte"
        "aevil\u202Egnp.exe-0123456789abcdef",               // "evilgnp.exe"
        "anon\u202E-rlo",                                    // "anon:anon-rlo"
        "abcdef012",                                         // two anonymous agents, one label
        "abcdef0123456789a",                                 //
        "aplanner-0123456789abcdef",                         // "planner"
        "aPlanner-0123456789abcdef",                         // "Planner"
        "aplanner-0123456789ABCDEF",                         // anonymous, differs only in case
        "a(main session)-0123456789abcdef",                  // a name that is a printed label
        "a" + longName + "-0123456789abcdef",                // cut in lists
        "a\u05E9\u05DC-0123456789abcdef",                    // right-to-left
        "ahid\U000E0041\u2028den-0123456789abcdef",          // hidden text, a line break
        "amain-0123456789abcdef",                            // the main session's word
        "aplan\u200Bner-0123456789abcdef",                   // "planner", its raw id printed alike
        "a\u200B\u2060-0123456789abcdef",                    // a name of hidden code points only
        "ax\u00A9\u200D\u00AE\uFFF9\u0600y-0123456789abcdef" // a joiner with no emoji
    };
    const std::string sessions[] = {"session\\u0000-\u202E-1", "\u05E9-session",
                                    "s\U000E0041\u2029-two", "shared-prefix-aaaa",
                                    "shared-prefix-bbbb"};
    int n = 0;
    for (std::size_t a = 0; a < std::size(agents); ++a) {
        Line l;
        l.timestamp = "2025-03-12T11:00:00Z";
        l.messageId = l.requestId = "m" + std::to_string(++n);
        l.agentId = agents[a];
        l.cwd = cwds[a % std::size(cwds)];
        l.sessionId = sessions[a % std::size(sessions)];
        l.input = 1000 * static_cast<std::int64_t>(a + 1);
        f.transcript("p/s" + std::to_string(a % std::size(sessions)) + ".jsonl", usageLine(l));
    }
    auto data = f.make();
    MCPServer server(data);
    auto call = [&](const char* tool, Json arguments) {
        const auto answer = server.callTool(tool, arguments);
        EXPECT_EQ(vantery::testing::strayControl(answer.text), "") << tool << answer.text;
        return answer;
    };
    auto all = [](std::string by = {}) {
        Json j = Json::object();
        j["period"] = "all";
        j["limit"] = 50;
        if (!by.empty()) j["by"] = by;
        return j;
    };

    std::set<std::string> agentLabels, projectLabels, sessionLabels;
    auto ranked = [](std::string_view answer, std::set<std::string>& into) {
        for (std::size_t i = 1; i <= 20; ++i)
            collect(std::string(answer), "", (i < 10 ? " " : "") + std::to_string(i) + ". ", "",
                    into);
    };
    const std::string top = call("vant_top_agents", all()).text;
    ranked(top, agentLabels);
    collect(top, "", "    session   ", "", sessionLabels);
    collect(top, "", "    project   ", "", projectLabels);
    Json perProject = all();
    perProject["agents_per_project"] = 50;
    const std::string projects = call("vant_top_projects", perProject).text;
    ranked(projects, projectLabels);
    collect(projects, "", "      \u00b7 ", " $", agentLabels);
    collect(call("vant_cost", all("agent")).text, "BREAKDOWN", "  ", "  $", agentLabels);
    const std::string byProject = call("vant_cost", all("project")).text;
    collect(byProject, "BREAKDOWN", "  ", "  $", projectLabels);
    collect(byProject, "WHO", "  ", "  $", agentLabels);
    const std::string bySession = call("vant_cost", all("session")).text;
    collect(bySession, "BREAKDOWN", "  ", "  $", sessionLabels);
    call("vant_sources", Json::object()); // prints no label to take back; checked for strays

    const Report& history = *data->history();
    const auto names = data->names();
    // Every row, not only the WHO block's, was read.
    ASSERT_GT(agentLabels.size(), history.byAgent.size());
    ASSERT_GE(projectLabels.size(), history.byProject.size());
    ASSERT_GE(sessionLabels.size(), history.bySession.size());

    for (const std::string& label : agentLabels) {
        std::set<std::string> meant;
        for (std::size_t i = 0; i < history.byAgent.size(); ++i) {
            const AgentIdentity& a = history.byAgent.agent(i);
            auto forms = listed(AnswerText::agentLabel(a));
            forms.insert(plain(names->agentText(a)));
            if (forms.count(plain(label))) meant.insert(plain(names->agentText(a)));
        }
        ASSERT_FALSE(meant.empty()) << label;
        Json q = Json::object();
        q["agent"] = label;
        const std::string answer = call("vant_agent", q).text;
        if (meant.size() == 1) {
            EXPECT_EQ(plain(linesOf(answer)[0]), "Agent " + *meant.begin() + " \u2014 all history")
                << label;
            continue;
        }
        EXPECT_EQ(candidatesIn(answer), meant) << label << "\n" << answer;
        for (const std::string& candidate : meant) {
            q["agent"] = candidate;
            EXPECT_EQ(plain(linesOf(call("vant_agent", q).text)[0]),
                      "Agent " + candidate + " \u2014 all history");
        }
    }

    for (const std::string& label : projectLabels) {
        std::set<std::string> meant;
        for (const auto& [project, bucket] : history.byProject) {
            const std::string shown = names->projects().shown(project);
            if (listed(shown).count(plain(label))) meant.insert(plain(shown));
        }
        ASSERT_FALSE(meant.empty()) << label;
        Json q = all("project");
        q["project"] = label;
        const auto answer = call("vant_cost", q);
        EXPECT_EQ(answer.isError, meant.size() > 1) << label << "\n" << answer.text;
        if (meant.size() == 1)
            EXPECT_EQ(plain(linesOf(answer.text)[1]), "filters: project = " + *meant.begin());
        else
            EXPECT_EQ(candidatesIn(answer.text), meant) << label;
    }

    EXPECT_NE(bySession.find("shared-prefi"), std::string::npos);
    for (const std::string& label : sessionLabels) {
        std::set<std::string> meant;
        for (const auto& [session, bucket] : history.bySession) {
            const std::string shown = names->sessions().shown(session);
            auto forms = listed(shown);
            forms.insert(plain(AnswerText::sessionLabel(shown)));
            if (forms.count(plain(label))) meant.insert(plain(shown));
        }
        ASSERT_FALSE(meant.empty()) << label;
        Json q = Json::object();
        q["session_id"] = label;
        const std::string answer = call("vant_session", q).text;
        if (meant.size() == 1)
            EXPECT_EQ(plain(linesOf(answer)[0]),
                      "Session " + *meant.begin() + " \u2014 all history");
        else
            EXPECT_EQ(candidatesIn(answer), meant) << label << "\n" << answer;
    }
}

// Two projects print alike when one holds a zero-width space: asked by that label, both
// are listed, each quoted with the hidden code point shown, and each quoted form reaches
// its project alone. The main session's word reaches it, never a sub-agent of that name;
// agents whose raw ids differ only by a hidden code point are both reached.
TEST(HostileNames, NamesThatPrintAlikeAreListedAndEachReached) {
    ServerFixture f;
    const std::pair<std::string, std::string> projects[] = {
        {"/srv/app", "claude-haiku-4-5"}, {"/srv/app\u200B", "claude-sonnet-4-5"}};
    const std::string agents[] = {"", "amain-0123456789abcdef", "aplanner-0123456789abcdef",
                                  "aplan\u200Bner-0123456789abcdef"};
    int n = 0;
    for (const auto& [cwd, model] : projects)
        for (const std::string& agent : agents) {
            Line l;
            l.timestamp = "2025-03-12T11:00:00Z";
            l.messageId = l.requestId = "m" + std::to_string(++n);
            l.cwd = cwd;
            l.model = model;
            l.agentId = agent;
            l.input = agent.empty() ? 1'000'000 : 1; // the main session's costs the round sum
            l.output = 0;
            f.transcript("p/s.jsonl", usageLine(l));
        }
    MCPServer server(f.make());
    auto cost = [&](const char* key, const std::string& value) {
        Json q = Json::object();
        q["period"] = "all";
        q[key] = value;
        q["agent"] = "main";
        return server.callTool("vant_cost", q);
    };
    const auto both = cost("project", "/srv/app");
    ASSERT_TRUE(both.isError) << both.text;
    const std::string quotedZws = "\"/srv/app\\u200B\"";
    EXPECT_TRUE(contains(both.text, quotedZws + " \u2014 $3.00")) << both.text;
    EXPECT_TRUE(contains(both.text, "\"/srv/app\" \u2014 $1.00")) << both.text;
    for (const auto& [typed, dollars] :
         {std::pair<std::string, std::string>{quotedZws, "$3.00"}, {"\"/srv/app\"", "$1.00"}}) {
        const auto one = cost("project", typed);
        ASSERT_FALSE(one.isError) << typed << one.text;
        EXPECT_TRUE(contains(
            one.text, "filters: agent = main session (no agentId) \u00b7 project = " + typed))
            << one.text;
        EXPECT_TRUE(contains(one.text, "  TOTAL  " + dollars)) << one.text;
    }

    Json agent = Json::object();
    agent["agent"] = "main";
    EXPECT_TRUE(
        contains(server.callTool("vant_agent", agent).text, "Agent main session (no agentId)"));
    // The sub-agent named "main" prints its quoted raw id in lists, which reaches it.
    agent["agent"] = AnswerText::agentLabel(AgentIdentity::parse("amain-0123456789abcdef"));
    EXPECT_EQ(agent["agent"], "\"amain-0123456789abcdef\"");
    EXPECT_TRUE(contains(server.callTool("vant_agent", agent).text,
                         "Agent main  [amain-0123456789abcdef]"));
    agent["agent"] = "planner";
    const std::string listed = server.callTool("vant_agent", agent).text;
    for (const std::string line : {"planner  [\"aplanner-0123456789abcdef\"]",
                                   "planner  [\"aplan\\u200Bner-0123456789abcdef\"]"}) {
        EXPECT_TRUE(contains(listed, line)) << listed;
        agent["agent"] = line;
        EXPECT_TRUE(contains(server.callTool("vant_agent", agent).text, "Agent " + line));
    }
}
