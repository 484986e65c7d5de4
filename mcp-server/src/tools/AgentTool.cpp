#include "vantery/mcp/MCPServer.hpp"
#include "tools/Pending.hpp"

namespace vantery::mcp {

std::string MCPServer::agent(const Json& arguments) {
    (void)arguments;
    tools::pending("vant_agent");
}

} // namespace vantery::mcp
