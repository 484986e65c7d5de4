#include "vantery/mcp/Protocol.hpp"

#include "vantery/Text.hpp"

namespace vantery::mcp {
namespace {

// White space and line breaks as Unicode defines them (separators, tab, the
// line-break controls and NEL): the UTF-8 length of one at the front or back of
// s, 0 when there is none.
constexpr std::string_view unicodeBlanks[] = {"\u0085", "\u00a0", "\u1680", "\u2000", "\u2001",
                                              "\u2002", "\u2003", "\u2004", "\u2005", "\u2006",
                                              "\u2007", "\u2008", "\u2009", "\u200a", "\u2028",
                                              "\u2029", "\u202f", "\u205f", "\u3000"};

std::size_t blankAtFront(std::string_view s) {
    if (s.empty()) return 0;
    const char c = s.front();
    if (c == ' ' || (c >= '\t' && c <= '\r')) return 1;
    for (std::string_view b : unicodeBlanks)
        if (s.substr(0, b.size()) == b) return b.size();
    return 0;
}

std::size_t blankAtBack(std::string_view s) {
    if (s.empty()) return 0;
    const char c = s.back();
    if (c == ' ' || (c >= '\t' && c <= '\r')) return 1;
    for (std::string_view b : unicodeBlanks)
        if (s.size() >= b.size() && s.substr(s.size() - b.size()) == b) return b.size();
    return 0;
}

std::string_view trimmed(std::string_view s) {
    while (std::size_t n = blankAtFront(s))
        s.remove_prefix(n);
    while (std::size_t n = blankAtBack(s))
        s.remove_suffix(n);
    return s;
}

// Copying and writing a JSON value recurse once per level, so a message nested
// deeper than any real request could exhaust the stack; such lines are refused
// before they are parsed.
constexpr int maxNesting = 256;

bool nestedTooDeep(std::string_view text) {
    int depth = 0;
    bool inString = false, escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > maxNesting) return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

Json success(const Json& id, Json result) {
    Json r = Json::object();
    r["jsonrpc"] = "2.0";
    r["id"] = id;
    r["result"] = std::move(result);
    return r;
}

} // namespace

const std::string Protocol::instructions =
    "Vantery measures what Claude Code usage cost on this machine and WHERE it came from, "
    "reading the JSONL transcripts straight off disk (all four homes: .claude, .claude-work, "
    ".claude-outlook, .claude-yahoo). It answers with the app closed. Start with "
    "vant_overview. The axis that sets Vantery apart from every other tool is the **agent** "
    "(`agentId`): 58% of usage lines come from sub-agents, so the answer to \"why did today "
    "cost that much\" is usually WHICH AGENT, not which project and not which model. When a "
    "figure looks large or wrong, ask for its provenance with vant_provenance \u2014 it names "
    "the files and the usage lines behind it, and what was lost while parsing. Every figure "
    "is an estimate from usage \u00d7 list API prices, NOT a bill; a value that cannot be "
    "computed is written \"unknown\", never 0.";

Json Protocol::errorResponse(const Json& id, int code, std::string_view message) {
    Json error = Json::object();
    error["code"] = code;
    error["message"] = std::string(message);
    Json r = Json::object();
    r["jsonrpc"] = "2.0";
    r["id"] = id;
    r["error"] = std::move(error);
    return r;
}

std::optional<Json> Protocol::handleLine(std::string_view line, MCPServer& server, const Log& log) {
    // A line is text: bytes that are not UTF-8 read as U+FFFD, so a request with
    // a stray byte in a string is still answered rather than left waiting.
    std::string repaired;
    if (!text::isValidUtf8(line)) {
        repaired = text::sanitizeUtf8(line);
        line = repaired;
    }
    std::string_view text = trimmed(line);
    if (text.empty()) return std::nullopt;

    Json msg = nestedTooDeep(text) ? Json(Json::value_t::discarded)
                                   : Json::parse(text.begin(), text.end(), nullptr, false);
    if (msg.is_discarded() || !msg.is_object() || msg.empty() || !msg.contains("method") ||
        !msg["method"].is_string()) {
        log("line ignored: not JSON, or no `method`");
        return std::nullopt;
    }

    const std::string method = msg["method"].get<std::string>();
    auto idIt = msg.find("id");
    const bool hasId = idIt != msg.end();
    const Json id = hasId ? *idIt : Json();
    auto paramsIt = msg.find("params");
    const Json params = paramsIt != msg.end() && paramsIt->is_object() ? *paramsIt : Json::object();

    if (method == "initialize") {
        if (!hasId) return std::nullopt;
        auto v = params.find("protocolVersion");
        Json result = Json::object();
        result["protocolVersion"] = v != params.end() && v->is_string()
                                        ? v->get<std::string>()
                                        : std::string(defaultProtocolVersion);
        result["capabilities"] = Json{{"tools", Json::object()}};
        result["serverInfo"] = Json{{"name", server.serverName}, {"version", server.serverVersion}};
        result["instructions"] = instructions;
        return success(id, std::move(result));
    }
    if (method == "tools/list") {
        if (!hasId) return std::nullopt;
        return success(id, Json{{"tools", MCPServer::tools()}});
    }
    if (method == "tools/call") {
        if (!hasId) return std::nullopt;
        auto n = params.find("name");
        std::string name = n != params.end() && n->is_string() ? n->get<std::string>() : "";
        auto a = params.find("arguments");
        Json arguments = a != params.end() && a->is_object() ? *a : Json::object();
        MCPServer::ToolAnswer answer = server.callTool(name, arguments);
        Json item = Json::object();
        item["type"] = "text";
        item["text"] = std::move(answer.text);
        Json result = Json::object();
        result["content"] = Json::array({std::move(item)});
        result["isError"] = answer.isError;
        return success(id, std::move(result));
    }
    if (method == "ping") {
        if (!hasId) return std::nullopt;
        return success(id, Json::object());
    }
    if (method.rfind("notifications/", 0) == 0) return std::nullopt;
    if (!hasId) return std::nullopt;
    return errorResponse(id, -32601, "Unknown method: " + method);
}

std::optional<std::string> Protocol::serialize(const Json& reply) {
    // Texts built from transcript paths need not be valid UTF-8; a reply is never
    // dropped for that, its bad bytes become U+FFFD.
    constexpr auto replace = nlohmann::ordered_json::error_handler_t::replace;
    try {
        return reply.dump(-1, ' ', false, replace);
    } catch (const std::exception&) {
    }
    try {
        Json id = reply.is_object() && reply.contains("id") ? reply["id"] : Json();
        return errorResponse(id, -32603, "Internal error: the reply could not be written")
            .dump(-1, ' ', false, replace);
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

bool Protocol::serve(std::istream& in, MCPServer& server, const Log& log,
                     const std::function<bool(std::string_view line)>& write) {
    std::string line;
    while (std::getline(in, line)) {
        std::optional<Json> reply = handleLine(line, server, log);
        if (!reply) continue;
        std::optional<std::string> text = serialize(*reply);
        if (!text) continue;
        if (!write(*text)) return false;
    }
    return true;
}

} // namespace vantery::mcp
