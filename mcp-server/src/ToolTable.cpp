// The tool table the client reads (its texts are the server's user-facing
// contract) and the dispatch of a call to its handler.
#include <exception>

#include "vantery/mcp/MCPServer.hpp"

namespace vantery::mcp {
namespace {

Json prop(const char* type, const char* description) {
    Json p = Json::object();
    p["type"] = type;
    p["description"] = description;
    return p;
}

// The period, from and to properties, in that order.
void addSpan(Json& properties, std::string_view defaultPeriod) {
    properties["period"] = MCPServer::periodProp(defaultPeriod);
    properties["from"] =
        prop("string", "First day included, `yyyy-MM-dd`. Takes precedence over `period`.");
    properties["to"] = prop("string", "Last day included, `yyyy-MM-dd`. Defaults to today.");
}

// Each tool's properties, in declaration order.

void overviewProperties(Json& p) {
    p["top"] = prop("integer", "How many agents/projects at the head of each list (default 5).");
}

void costProperties(Json& p) {
    addSpan(p, "today");
    p["agent"] = prop("string", "Narrow to one agent: name, `agentId` (or a prefix), or `main`.");
    p["project"] = prop("string", "Narrow to one project (canonical label or a fragment).");
    p["session_id"] = prop("string", "Narrow to one session (full id or a prefix).");
    p["by"] = prop("string", "Breakdown axis: `day` (default), `hour` (single day only), "
                             "`agent`, `project`, `model`, `session`.");
}

void topAgentsProperties(Json& p) {
    addSpan(p, "today");
    p["limit"] = prop("integer", "How many agents (default 15).");
    p["subagents_only"] = prop("boolean", "Exclude the main session (default false).");
    p["project"] = prop("string", "Only agents that worked in this project.");
}

void topProjectsProperties(Json& p) {
    addSpan(p, "today");
    p["limit"] = prop("integer", "How many projects (default 10).");
    p["agents_per_project"] =
        prop("integer", "How many agents under each project (default 3; 0 = none).");
}

void byModelProperties(Json& p) {
    addSpan(p, "today");
    p["agent"] = prop("string", "Narrow to one agent.");
    p["project"] = prop("string", "Narrow to one project.");
    p["agents_per_model"] =
        prop("integer", "How many agents under each model (default 3; 0 = none).");
}

void sessionProperties(Json& p) {
    p["session_id"] =
        prop("string", "Full `sessionId` or a prefix (4 characters or more is useful).");
    addSpan(p, "all");
}

void agentProperties(Json& p) {
    p["agent"] = prop("string", "Agent name, `agentId` (or a prefix), or `main`.");
    addSpan(p, "all");
}

void provenanceProperties(Json& p) {
    addSpan(p, "today");
    p["agent"] = prop("string", "The figure for one specific agent.");
    p["project"] = prop("string", "The figure for one specific project.");
    p["session_id"] = prop("string", "The figure for one specific session.");
    p["limit"] = prop("integer", "How many files to list (default 20).");
}

void noProperties(Json&) {}

// One row per tool: what "tools/list" shows and what a call runs. Listing and dispatch
// both follow the table's order.
struct Tool {
    std::string_view name;
    std::string_view description;
    void (*properties)(Json&);
    std::string_view required; ///< the one required argument; empty for none
    std::string (MCPServer::*handler)(const Json&);
};

constexpr Tool toolTable[] = {
    {"vant_overview",
     "READ THIS FIRST. What today burned, the current rate in $/h, the comparison with yesterday "
     "at the same time, how much of the cost comes from sub-agents vs the main session, and the "
     "top agents and projects. The orientation verb \u2014 every question about usage starts "
     "here.",
     overviewProperties,
     {},
     &MCPServer::overview},
    {"vant_cost",
     "The cost for a day or a range, broken down day by day (and by hour when it is a single "
     "day). Can be narrowed to one agent, one project or one session \u2014 the filters combine.",
     costProperties,
     {},
     &MCPServer::cost},
    {"vant_top_agents",
     "Agents ranked by cost \u2014 the axis that answers \"why did today cost that much\". For "
     "each one: cost, requests, tokens, models, the session and project it worked in, its "
     "activity range, and whether it is a named sub-agent, an anonymous sub-agent, or the main "
     "session.",
     topAgentsProperties,
     {},
     &MCPServer::topAgents},
    {"vant_top_projects",
     "Projects ranked by cost, with the agents that drove each one underneath \u2014 a project "
     "on its own does not say who spent in it.",
     topProjectsProperties,
     {},
     &MCPServer::topProjects},
    {"vant_by_model",
     "The breakdown by model: cost, requests, tokens, share of the total, plus the agents that "
     "used each model. Models with no known price are listed by name \u2014 they are not counted "
     "in the cost, so the figure stays a lower bound.",
     byModelProperties,
     {},
     &MCPServer::byModel},
    {"vant_session",
     "The thread of one session: the project, the range, the cost, the agents that worked in it "
     "(with what each of them cost), the models, and the activity by day. Accepts a `sessionId` "
     "prefix; if the prefix is ambiguous it returns the candidates rather than guessing.",
     sessionProperties, "session_id", &MCPServer::session},
    {"vant_agent",
     "The thread of one agent: the days it ran, its sessions and projects, the models, the "
     "range, and what the roster in `teams/session-*/config.json` says about it (when there is "
     "one). Looks it up by name or by `agentId`/prefix; on ambiguity it returns the candidates.",
     agentProperties, "agent", &MCPServer::agent},
    {"vant_provenance",
     "Where a figure comes from: the transcript files behind it, with the usage lines and "
     "requests each one contributed, the home they came from, requests that appear in more than "
     "one file (resumed or forked sessions), the lines rejected while parsing, and the requests "
     "with no price. The verb that turns a number into a checkable claim.",
     provenanceProperties,
     {},
     &MCPServer::provenance},
    {"vant_sources",
     "The health of the measurement: the four Claude homes (present/empty/how many files/what "
     "cost), the scan diagnostics (lines rejected and why, the longest line, unreadable files), "
     "the state of the incremental cache, and the coverage of the agent roster. Read this before "
     "relying on any figure.",
     noProperties,
     {},
     &MCPServer::sources},
};

Json describe(const Tool& t) {
    Json schema = Json::object();
    schema["type"] = "object";
    Json properties = Json::object();
    t.properties(properties);
    schema["properties"] = std::move(properties);
    if (!t.required.empty()) schema["required"] = Json::array({std::string(t.required)});
    Json out = Json::object();
    out["name"] = std::string(t.name);
    out["description"] = std::string(t.description);
    out["inputSchema"] = std::move(schema);
    return out;
}

} // namespace

Json MCPServer::periodProp(std::string_view defaultPeriod) {
    return prop("string", ("Period: `today`, `yesterday`, `NNd` (the last NN days, e.g. `7d`), "
                           "`all`. Defaults to `" +
                           std::string(defaultPeriod) + "`. Or give `from`/`to` instead.")
                              .c_str());
}

Json MCPServer::tools() {
    Json list = Json::array();
    for (const Tool& t : toolTable)
        list.push_back(describe(t));
    return list;
}

MCPServer::ToolAnswer MCPServer::callTool(std::string_view name, const Json& arguments) {
    for (const Tool& t : toolTable) {
        if (t.name != name) continue;
        try {
            return {(this->*t.handler)(arguments), false};
        } catch (const MCPError& refusal) {
            return {refusal.what(), true};
        } catch (const std::exception& failure) {
            return {std::string("Error: ") + failure.what(), true};
        } catch (...) {
            return {"Error: an unexpected failure", true};
        }
    }
    return {"Unknown verb: " + std::string(name), true};
}

Period MCPServer::period(const Json& arguments, std::string_view defaultPeriod) const {
    return Period::parse(arguments, defaultPeriod, data->calendar(), data->now());
}

} // namespace vantery::mcp
