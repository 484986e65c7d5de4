#include "vantery/mcp/MCPServer.hpp"
#include "tools/Pending.hpp"

namespace vantery::mcp {

std::string MCPServer::overview(const Json& arguments) {
    (void)arguments;
    tools::pending("vant_overview");
}

} // namespace vantery::mcp
