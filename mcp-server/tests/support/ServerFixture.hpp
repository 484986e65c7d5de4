#pragma once
// A data source over a temporary home, with clocks the test moves by hand.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TempDir.hpp"
#include "Transcripts.hpp"
#include "vantery/mcp/DataSource.hpp"
#include "vantery/mcp/MCPServer.hpp"

namespace vantery::mcp::testing {

struct ServerFixture {
    vantery::testing::TempHome home;
    /// Seconds on the monotonic clock and on the wall clock, read at each call.
    std::shared_ptr<double> monotonic = std::make_shared<double>(1000.0);
    std::shared_ptr<double> wall = std::make_shared<double>(1741780800.0); // 2025-03-12 12:00 UTC
    std::map<std::string, std::string> variables;

    ServerFixture();
    /// The environment: the temporary folder as user home and VANTERY_HOME, the
    /// cache inside it, New York time, and the two hand-moved clocks.
    DataSource::Environment environment() const;
    std::shared_ptr<DataSource> make() const;

    /// Appends usage lines to <home>/.claude/projects/<rel>.
    void transcript(const std::string& rel, const std::string& lines) const;

    /// The text a fresh server over this home answers a tool call with; fails the test
    /// when the answer is a refusal.
    std::string answer(const std::string& tool, const Json& arguments = Json::object()) const;
};

/// The text of a tool's answer; fails the test unless it is a refusal exactly when
/// `refused`.
std::string answerText(const MCPServer::ToolAnswer& answer, bool refused = false);

/// A server over a home of its own that answers protocol lines and keeps what it logs.
struct LineServer {
    ServerFixture fixture;
    MCPServer server{fixture.make()};
    std::vector<std::string> logged;

    std::optional<std::string> answer(std::string_view line);
};

} // namespace vantery::mcp::testing
