#pragma once
// A small fixed history for the answers of the ranking tools: two Claude homes,
// five local days around a daylight-saving change in New York, three git
// projects (one reached through a worktree, one through a sub-folder), a folder
// that is no repository, the main session, two named agents with team rosters,
// an anonymous agent, a model with no known price and a request whose cache-write
// split was assumed. The clock stands at 2025-03-12 15:40 New York time.
#include <memory>
#include <string>

#include "ServerFixture.hpp"
#include "vantery/mcp/MCPServer.hpp"

namespace vantery::mcp::testing {

/// 2025-03-12 15:40 EDT (19:40 UTC).
inline constexpr double toolsNow = 1741808400.0;

struct ToolsHome {
    ServerFixture fixture;
    std::shared_ptr<DataSource> data;
    std::unique_ptr<MCPServer> server;

    /// Writes the history (unless `empty`), pins the clock at toolsNow and builds
    /// the server over it.
    explicit ToolsHome(bool empty = false);

    /// Calls a tool with arguments given as JSON text.
    MCPServer::ToolAnswer call(const std::string& tool, const std::string& arguments = "{}");
    /// The text of a call that must be answered; fails the test on a refusal.
    std::string answer(const std::string& tool, const std::string& arguments = "{}");
    /// The text of a call that must be refused; fails the test otherwise.
    std::string refusal(const std::string& tool, const std::string& arguments);
    /// Fails the test unless the call is answered with the golden file `golden`.
    void expectGolden(const std::string& tool, const std::string& arguments,
                      const std::string& golden);
};

/// A golden answer of the tools, as named under testdata/ for matchesGolden.
inline std::string toolGolden(const std::string& name) {
    return "mcp/golden/" + name;
}

} // namespace vantery::mcp::testing
