// Narrowing a tool call to one agent, one project and one session, each looked
// up by what the user typed against the whole history.
#include "vantery/mcp/MCPServer.hpp"
#include "vantery/mcp/R.hpp"

namespace vantery::mcp {
namespace {

std::string joinedCandidates(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& line : lines)
        s += "\n  " + line;
    return s;
}

// A filter argument counts when it is a non-empty string (spaces included).
std::optional<std::string> given(const Json& arguments, std::string_view key) {
    auto v = argString(arguments, key);
    if (v && !v->empty()) return v;
    return std::nullopt;
}

// "matches N" counts every match, while the lines show the dearest few; say so
// when they differ.
std::string shownNote(std::int64_t matches, std::size_t shown) {
    if (static_cast<std::size_t>(matches) <= shown) return {};
    return " (the " + std::to_string(shown) + " dearest shown)";
}

} // namespace

MCPServer::Filters MCPServer::buildFilters(const Json& arguments) {
    auto agentArg = given(arguments, "agent");
    auto projectArg = given(arguments, "project");
    auto sessionArg = given(arguments, "session_id");
    Filters f;
    if (!agentArg && !projectArg && !sessionArg) return f;

    const std::shared_ptr<const Report> all = data->history();
    const Report& history = *all;
    std::vector<RecordFilter> parts;

    if (agentArg) {
        const std::string& v = *agentArg;
        auto r = data->resolveAgent(v, history);
        switch (r.kind) {
        case DataSource::Resolution<AgentIdentity>::Kind::one: {
            f.described.push_back("agent = " + R::agent(*r.match));
            parts.push_back(RecordFilter::agent(*r.match));
            break;
        }
        case DataSource::Resolution<AgentIdentity>::Kind::none:
            throw MCPError::bad("No agent matches \u201c" + v +
                                "\u201d. See `vant_top_agents` with `period: \"all\"` for the "
                                "real names.");
        case DataSource::Resolution<AgentIdentity>::Kind::many:
            throw MCPError::bad(
                "\u201c" + v + "\u201d matches " + std::to_string(r.matches) + " agents" +
                shownNote(r.matches, r.lines.size()) +
                ". Pick one (give the exact name or the `agentId`):" + joinedCandidates(r.lines));
        }
    }
    if (projectArg) {
        const std::string& v = *projectArg;
        auto r = data->resolveProject(v, history);
        switch (r.kind) {
        case DataSource::Resolution<std::string>::Kind::one: {
            f.described.push_back("project = " + *r.match);
            parts.push_back(RecordFilter::project(*r.match, data->resolver()));
            break;
        }
        case DataSource::Resolution<std::string>::Kind::none:
            throw MCPError::bad("No project matches \u201c" + v +
                                "\u201d. See `vant_top_projects` with `period: \"all\"`.");
        case DataSource::Resolution<std::string>::Kind::many:
            throw MCPError::bad("\u201c" + v + "\u201d matches " + std::to_string(r.matches) +
                                " projects" + shownNote(r.matches, r.lines.size()) + ":" +
                                joinedCandidates(r.lines));
        }
    }
    if (sessionArg) {
        const std::string& v = *sessionArg;
        auto r = data->resolveSession(v, history);
        switch (r.kind) {
        case DataSource::Resolution<std::string>::Kind::one: {
            f.described.push_back("session = " + *r.match);
            parts.push_back(RecordFilter::session(*r.match));
            break;
        }
        case DataSource::Resolution<std::string>::Kind::none:
            throw MCPError::bad("No session starts with \u201c" + v + "\u201d.");
        case DataSource::Resolution<std::string>::Kind::many:
            throw MCPError::bad("The prefix \u201c" + v + "\u201d matches " +
                                std::to_string(r.matches) + " sessions" +
                                shownNote(r.matches, r.lines.size()) + ":" +
                                joinedCandidates(r.lines));
        }
    }

    f.predicate = RecordFilter::allOf(std::move(parts));
    return f;
}

} // namespace vantery::mcp
