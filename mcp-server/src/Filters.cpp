// Narrowing a tool call to one agent, one project and one session, each looked
// up by what the user typed against the whole history.
#include "tools/ThreadText.hpp"
#include "vantery/mcp/AnswerText.hpp"
#include "vantery/mcp/MCPServer.hpp"

namespace vantery::mcp {
namespace {

// A filter argument counts when it is a non-empty string (spaces included).
std::optional<std::string> given(const Json& arguments, std::string_view key) {
    auto v = argString(arguments, key);
    if (v && !v->empty()) return v;
    return std::nullopt;
}

} // namespace

MCPServer::Filters MCPServer::buildFilters(const Json& arguments) {
    auto agentArg = given(arguments, "agent");
    auto projectArg = given(arguments, "project");
    auto sessionArg = given(arguments, "session_id");
    Filters f;
    if (!agentArg && !projectArg && !sessionArg) return f;

    const std::shared_ptr<const NameIndex> names = data->names();
    std::vector<RecordFilter> chosen;

    if (agentArg) {
        const std::string& v = *agentArg;
        auto r = DataSource::resolveAgent(v, *names);
        switch (r.kind) {
        case DataSource::Resolution<AgentIdentity>::Kind::one: {
            f.described.push_back("agent = " + names->agentText(*r.match));
            chosen.push_back(RecordFilter::agent(*r.match));
            break;
        }
        case DataSource::Resolution<AgentIdentity>::Kind::none:
            throw MCPError::bad(tools::noAgentMatches(v));
        case DataSource::Resolution<AgentIdentity>::Kind::many:
            throw MCPError::bad(tools::matchCount(v, r, "agents") +
                                ". Pick one (give the exact name or the `agentId`):" +
                                tools::candidateLines(r.lines));
        }
    }
    if (projectArg) {
        const std::string& v = *projectArg;
        auto r = DataSource::resolveProject(v, *names);
        switch (r.kind) {
        case DataSource::Resolution<std::string>::Kind::one: {
            f.described.push_back("project = " +
                                  AnswerText::name(names->projects().shown(*r.match)));
            chosen.push_back(RecordFilter::project(*r.match, data->resolver()));
            break;
        }
        case DataSource::Resolution<std::string>::Kind::none:
            throw MCPError::bad("No project matches " + tools::quoted(v) +
                                ". See `vant_top_projects` with `period: \"all\"`.");
        case DataSource::Resolution<std::string>::Kind::many:
            throw MCPError::bad(tools::matchCount(v, r, "projects") + ":" +
                                tools::candidateLines(r.lines));
        }
    }
    if (sessionArg) {
        const std::string& v = *sessionArg;
        auto r = DataSource::resolveSession(v, *names);
        switch (r.kind) {
        case DataSource::Resolution<std::string>::Kind::one: {
            f.described.push_back("session = " +
                                  AnswerText::name(names->sessions().shown(*r.match)));
            chosen.push_back(RecordFilter::session(*r.match));
            break;
        }
        case DataSource::Resolution<std::string>::Kind::none:
            throw MCPError::bad("No session starts with " + tools::quoted(v) + ".");
        case DataSource::Resolution<std::string>::Kind::many:
            throw MCPError::bad("The prefix " + tools::matchCount(v, r, "sessions") + ":" +
                                tools::candidateLines(r.lines));
        }
    }

    f.predicate = RecordFilter::allOf(std::move(chosen));
    return f;
}

} // namespace vantery::mcp
