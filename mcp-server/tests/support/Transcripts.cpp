#include "Transcripts.hpp"

namespace vantery::mcp::testing {

std::string usageLine(const Line& l) {
    std::string s = R"({"type":"assistant","timestamp":")" + l.timestamp + R"(","requestId":")" +
                    l.requestId + "\"";
    if (!l.sessionId.empty()) s += R"(,"sessionId":")" + l.sessionId + "\"";
    s += R"(,"cwd":")" + l.cwd + "\"";
    if (!l.agentId.empty()) s += R"(,"agentId":")" + l.agentId + "\"";
    s += R"(,"message":{"id":")" + l.messageId + R"(","model":")" + l.model +
         R"(","usage":{"input_tokens":)" + std::to_string(l.input) + R"(,"output_tokens":)" +
         std::to_string(l.output) + "}}}\n";
    return s;
}

} // namespace vantery::mcp::testing
