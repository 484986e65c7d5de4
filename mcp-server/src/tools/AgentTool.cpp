#include "tools/Pending.hpp"
#include "vantery/mcp/MCPServer.hpp"

namespace vantery::mcp {

std::string MCPServer::agent(const Json& arguments) {
    (void)arguments;
    tools::pending("vant_agent");
}

} // namespace vantery::mcp
