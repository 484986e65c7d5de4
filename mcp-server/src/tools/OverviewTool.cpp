#include "tools/Pending.hpp"
#include "vantery/mcp/MCPServer.hpp"

namespace vantery::mcp {

std::string MCPServer::overview(const Json& arguments) {
    (void)arguments;
    tools::pending("vant_overview");
}

} // namespace vantery::mcp
