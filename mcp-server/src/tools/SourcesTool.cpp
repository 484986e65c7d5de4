#include "tools/Pending.hpp"
#include "vantery/mcp/MCPServer.hpp"

namespace vantery::mcp {

std::string MCPServer::sources(const Json& arguments) {
    (void)arguments;
    tools::pending("vant_sources");
}

} // namespace vantery::mcp
