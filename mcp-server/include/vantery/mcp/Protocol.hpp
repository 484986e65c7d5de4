#pragma once
// JSON-RPC 2.0 over lines: one request per input line, at most one reply line each.
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

#include "vantery/mcp/Json.hpp"
#include "vantery/mcp/MCPServer.hpp"

namespace vantery::mcp {

struct Protocol {
    Protocol() = delete;

    /// The protocol version answered when the client names none usable.
    static constexpr std::string_view defaultProtocolVersion = "2025-11-25";
    /// The "instructions" text of the initialize reply.
    static const std::string instructions;
    /// Every log line starts with this.
    static constexpr std::string_view logPrefix = "[vantery-mcp] ";

    /// Writes one log line (the prefix is added).
    using Log = std::function<void(std::string_view message)>;
    /// The server's one log: logPrefix, the message and a line feed to standard
    /// error, in one write so that lines never interleave.
    static void logToStderr(std::string_view message);

    /// {"jsonrpc": "2.0", "id": id, "error": {"code": code, "message": message}}.
    static Json errorResponse(const Json& id, int code, std::string_view message);

    /// The reply to one input line, if it gets one, as the line to write (no line
    /// feed). Notifications and requests without an id get none. A line whose
    /// top-level "method" and "id" can be read is always answered: when the rest
    /// cannot be parsed, with error -32700, and when it nests deeper than the server
    /// reads, with -32600. Other malformed lines are logged and get none. The id is
    /// written exactly as sent, character for character.
    static std::optional<std::string> answerLine(std::string_view line, MCPServer& server,
                                                 const Log& log);

    /// The reply as one compact line (no line feed). Invalid UTF-8 in any string
    /// becomes U+FFFD. A reply that still cannot be written becomes an internal
    /// error (-32603) for the same id; absent only when even that fails.
    static std::optional<std::string> serialize(const Json& reply);

    /// The read loop: answers each line of `in` through `write` until the input
    /// ends (true) or `write` fails (false).
    static bool serve(std::istream& in, MCPServer& server, const Log& log,
                      const std::function<bool(std::string_view line)>& write);
};

} // namespace vantery::mcp
