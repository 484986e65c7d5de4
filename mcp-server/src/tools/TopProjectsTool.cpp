#include "tools/Pending.hpp"
#include "vantery/mcp/MCPServer.hpp"

namespace vantery::mcp {

std::string MCPServer::topProjects(const Json& arguments) {
    // Arguments are checked before anything else, as the finished tool will.
    Period p = period(arguments, "today");
    Filters filters = buildFilters(arguments);
    (void)p;
    (void)filters;
    tools::pending("vant_top_projects");
}

} // namespace vantery::mcp
