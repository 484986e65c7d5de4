#include "vantery/mcp/MCPServer.hpp"
#include "tools/Pending.hpp"

namespace vantery::mcp {

std::string MCPServer::sources(const Json& arguments) {
    (void)arguments;
    tools::pending("vant_sources");
}

} // namespace vantery::mcp
