#pragma once
// Transcript lines for tests, in the shape Claude Code writes them.
#include <cstdint>
#include <string>

namespace vantery::mcp::testing {

struct Line {
    std::string timestamp = "2025-03-10T12:00:00Z";
    std::string messageId = "msg_1";
    std::string requestId = "req_1";
    std::string sessionId = "s1"; ///< left out of the line when empty
    std::string cwd = "/w/repo";
    std::string agentId; ///< left out when empty (the main session)
    std::string model = "claude-sonnet-4-5";
    std::int64_t input = 1000;
    std::int64_t output = 100;
};

/// One JSONL usage line with a line feed.
std::string usageLine(const Line& l);

} // namespace vantery::mcp::testing
