#include "tools/Pending.hpp"
#include "vantery/mcp/MCPServer.hpp"

namespace vantery::mcp {

std::string MCPServer::session(const Json& arguments) {
    (void)arguments;
    tools::pending("vant_session");
}

} // namespace vantery::mcp
