#include "vantery/mcp/MCPServer.hpp"
#include "tools/Pending.hpp"

namespace vantery::mcp {

std::string MCPServer::session(const Json& arguments) {
    (void)arguments;
    tools::pending("vant_session");
}

} // namespace vantery::mcp
