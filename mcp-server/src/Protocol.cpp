#include "vantery/mcp/Protocol.hpp"

#include <cctype>
#include <cstdint>
#include <cstdio>

#include "vantery/base/Text.hpp"

namespace vantery::mcp {
namespace {

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

// Incoming messages are parsed into JSON whose objects are sorted maps: the
// server's own JSON keeps member order, which makes each insertion a linear search,
// and a message of 150,000 keys took 20 seconds to read. Member order of a
// request matters to nothing the server writes.
using Incoming = nlohmann::json;

// An incoming value as the server's JSON. Objects are filled in one pass: their
// keys are already unique.
Json toServerJson(const Incoming& v) {
    switch (v.type()) {
    case Incoming::value_t::object: {
        Json out = Json::object();
        auto& members = out.get_ref<Json::object_t&>();
        members.reserve(v.size());
        for (auto it = v.begin(); it != v.end(); ++it)
            members.Container::emplace_back(it.key(), toServerJson(it.value()));
        return out;
    }
    case Incoming::value_t::array: {
        Json out = Json::array();
        auto& items = out.get_ref<Json::array_t&>();
        items.reserve(v.size());
        for (const Incoming& item : v)
            items.push_back(toServerJson(item));
        return out;
    }
    case Incoming::value_t::string:
        return v.get_ref<const std::string&>();
    case Incoming::value_t::boolean:
        return v.get<bool>();
    case Incoming::value_t::number_integer:
        return v.get<std::int64_t>();
    case Incoming::value_t::number_unsigned:
        return v.get<std::uint64_t>();
    case Incoming::value_t::number_float:
        return v.get<double>();
    default:
        return nullptr;
    }
}

// --- Reading the top-level members of a line that does not parse -------------
//
// A request whose id can be read must be answered, even when the rest of its line
// cannot be: a client waits for that id. These helpers find the raw text of the
// top-level "method" and "id" without parsing anything else.

std::size_t skipBlanks(std::string_view t, std::size_t i) {
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t' || t[i] == '\n' || t[i] == '\r'))
        ++i;
    return i;
}

// The end of the string token starting at t[i] == '"' (just past its closing
// quote); npos when it does not end.
std::size_t endOfString(std::string_view t, std::size_t i) {
    for (++i; i < t.size(); ++i) {
        if (t[i] == '\\')
            ++i;
        else if (t[i] == '"')
            return i + 1;
    }
    return std::string_view::npos;
}

// The end of the value starting at t[i]; npos when it does not end.
std::size_t endOfValue(std::string_view t, std::size_t i) {
    if (i >= t.size()) return std::string_view::npos;
    if (t[i] == '"') return endOfString(t, i);
    if (t[i] == '{' || t[i] == '[') {
        std::size_t depth = 0;
        for (; i < t.size(); ++i) {
            const char c = t[i];
            if (c == '"') {
                i = endOfString(t, i);
                if (i == std::string_view::npos) return i;
                --i;
            } else if (c == '{' || c == '[') {
                ++depth;
            } else if ((c == '}' || c == ']') && --depth == 0) {
                return i + 1;
            }
        }
        return std::string_view::npos;
    }
    while (i < t.size() && t[i] != ',' && t[i] != '}' && t[i] != ' ' && t[i] != '\t' &&
           t[i] != '\n' && t[i] != '\r')
        ++i;
    return i;
}

// A JSON string token: no raw control characters, only the escapes JSON has. A
// \u escape of a lone surrogate is valid JSON text, though not Unicode.
bool isStringToken(std::string_view t) {
    if (t.size() < 2 || t.front() != '"' || t.back() != '"') return false;
    for (std::size_t i = 1; i + 1 < t.size(); ++i) {
        const auto c = static_cast<unsigned char>(t[i]);
        if (c < 0x20 || c == '"') return false;
        if (c != '\\') continue;
        if (++i + 1 >= t.size()) return false;
        if (t[i] == 'u') {
            if (i + 5 > t.size() - 1) return false;
            for (std::size_t k = 1; k <= 4; ++k)
                if (!std::isxdigit(static_cast<unsigned char>(t[i + k]))) return false;
            i += 4;
        } else if (std::string_view("\"\\/bfnrt").find(t[i]) == std::string_view::npos) {
            return false;
        }
    }
    return true;
}

// A value the server can send back as it came: a string, a number, or a literal.
bool isScalarToken(std::string_view t) {
    return isStringToken(t) || text::isJsonNumber(t) || t == "true" || t == "false" || t == "null";
}

struct TopLevel {
    std::optional<std::string_view> method, id; // raw value text
    std::size_t idAt = 0;                       // where the id's text starts
};

// The raw values of the top-level "method" and "id" members met before the text
// stops being a well-formed object (the last of repeated members wins).
TopLevel skimTopLevel(std::string_view t) {
    TopLevel found;
    std::size_t i = skipBlanks(t, 0);
    if (i >= t.size() || t[i] != '{') return found;
    i = skipBlanks(t, i + 1);
    while (i < t.size() && t[i] == '"') {
        const std::size_t keyEnd = endOfString(t, i);
        if (keyEnd == std::string_view::npos) break;
        const std::string_view key = t.substr(i + 1, keyEnd - i - 2);
        i = skipBlanks(t, keyEnd);
        if (i >= t.size() || t[i] != ':') break;
        i = skipBlanks(t, i + 1);
        const std::size_t valueEnd = endOfValue(t, i);
        if (valueEnd == std::string_view::npos) break;
        const std::string_view value = t.substr(i, valueEnd - i);
        if (key == "method") found.method = value;
        if (key == "id") {
            found.id = value;
            found.idAt = i;
        }
        i = skipBlanks(t, valueEnd);
        if (i >= t.size() || t[i] != ',') break;
        i = skipBlanks(t, i + 1);
    }
    return found;
}

// The method named by a raw string token; absent when it is none.
std::optional<std::string> methodOf(std::string_view raw) {
    if (!isStringToken(raw)) return std::nullopt;
    Incoming v = Incoming::parse(raw, nullptr, false);
    if (!v.is_string()) return std::nullopt;
    return v.get<std::string>();
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

namespace {

// The reply to a request as dispatched by its method; none for notifications and
// requests without an id.
std::optional<Json> dispatch(const std::string& method, bool hasId, const Json& id,
                             const Incoming& params, MCPServer& server) {
    if (method == "initialize") {
        if (!hasId) return std::nullopt;
        auto v = params.find("protocolVersion");
        Json result = Json::object();
        result["protocolVersion"] = v != params.end() && v->is_string()
                                        ? v->get<std::string>()
                                        : std::string(Protocol::defaultProtocolVersion);
        result["capabilities"] = Json{{"tools", Json::object()}};
        result["serverInfo"] = Json{{"name", server.serverName}, {"version", server.serverVersion}};
        result["instructions"] = Protocol::instructions;
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
        Json arguments = a != params.end() && a->is_object() ? toServerJson(*a) : Json::object();
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
    return Protocol::errorResponse(id, -32601, "Unknown method: " + method);
}

// The "params" member when it is an object, else an empty object.
const Incoming& paramsOf(const Incoming& msg) {
    static const Incoming none = Incoming::object();
    auto it = msg.find("params");
    return it != msg.end() && it->is_object() ? *it : none;
}

// A reply, and the text of its id when that is to be written exactly as it came
// (the reply then holds null in its place).
struct Answer {
    Json reply;
    std::string rawId;
};

// The text of a parsed message's id as the client wrote it: a number of thirty digits
// held as a double would go back rounded. Empty in the rare case the member the parser
// kept cannot be told apart by its text (a key written with escapes).
std::string rawIdOf(std::string_view text, const Incoming& parsed) {
    const TopLevel top = skimTopLevel(text);
    if (!top.id) return {};
    Incoming same = Incoming::parse(*top.id, nullptr, false);
    if (same.is_discarded() || same != parsed) return {};
    return std::string(*top.id);
}

constexpr std::string_view ignored = "line ignored: not JSON, or no `method`";

std::optional<Answer> answer(std::string_view line, MCPServer& server, const Protocol::Log& log) {
    // A line is text: bytes that are not UTF-8 read as U+FFFD, so a request with
    // a stray byte in a string is still answered rather than left waiting.
    std::string repaired;
    if (!text::isValidUtf8(line)) {
        repaired = text::sanitizeUtf8(line);
        line = repaired;
    }
    std::string_view text = text::trimmed(line);
    if (text.empty()) return std::nullopt;

    const bool deep = nestedTooDeep(text);
    Incoming msg = deep ? Incoming(Incoming::value_t::discarded)
                        : Incoming::parse(text.begin(), text.end(), nullptr, false);
    if (!msg.is_discarded()) {
        auto m = msg.is_object() ? msg.find("method") : msg.end();
        if (!msg.is_object() || msg.empty() || m == msg.end() || !m->is_string()) {
            log(ignored);
            return std::nullopt;
        }
        auto idIt = msg.find("id");
        const bool hasId = idIt != msg.end();
        std::string rawId = hasId ? rawIdOf(text, *idIt) : std::string();
        auto reply =
            dispatch(m->get<std::string>(), hasId,
                     hasId && rawId.empty() ? toServerJson(*idIt) : Json(), paramsOf(msg), server);
        if (!reply) return std::nullopt;
        return Answer{std::move(*reply), std::move(rawId)};
    }

    // The line does not parse, or nests too deep to be read safely. When its
    // method and id can still be read, the id gets an answer.
    const TopLevel top = skimTopLevel(text);
    const auto method = top.method ? methodOf(*top.method) : std::nullopt;
    if (!method || !top.id || !isScalarToken(*top.id)) {
        log(ignored);
        return std::nullopt;
    }
    if (method->starts_with("notifications/")) return std::nullopt;
    std::string rawId(*top.id);
    if (!deep) {
        // When only the id is beyond what a JSON value here holds (1e400, a lone
        // surrogate "\ud800"), the request is read without it and answered as usual.
        std::string rest(text);
        rest.replace(top.idAt, top.id->size(), "null");
        Incoming retry = Incoming::parse(rest, nullptr, false);
        auto m = retry.is_object() ? retry.find("method") : retry.end();
        if (!retry.is_discarded() && retry.is_object() && m != retry.end() && m->is_string()) {
            auto reply = dispatch(*method, true, Json(), paramsOf(retry), server);
            if (reply) return Answer{std::move(*reply), std::move(rawId)};
            return std::nullopt;
        }
        return Answer{Protocol::errorResponse(nullptr, -32700, "Parse error"), std::move(rawId)};
    }
    return Answer{Protocol::errorResponse(nullptr, -32600,
                                          "Invalid Request: nested more than " +
                                              std::to_string(maxNesting) + " levels deep"),
                  std::move(rawId)};
}

} // namespace

std::optional<std::string> Protocol::answerLine(std::string_view line, MCPServer& server,
                                                const Log& log) {
    auto a = answer(line, server, log);
    if (!a) return std::nullopt;
    auto text = serialize(a->reply);
    if (!text || a->rawId.empty()) return text;
    // Replies are built with "jsonrpc" first and "id" second.
    constexpr std::string_view head = R"({"jsonrpc":"2.0","id":null)";
    if (text->starts_with(head)) text->replace(head.size() - 4, 4, a->rawId);
    return text;
}

void Protocol::logToStderr(std::string_view message) {
    std::string line(logPrefix);
    line += message;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
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
        std::optional<std::string> text = answerLine(line, server, log);
        const bool written = !text || write(*text);
        // The reply is out: the cache is kept now, before the next request is read.
        try {
            if (server.data) server.data->keepCache();
        } catch (const std::exception& e) {
            log(std::string("cache not saved: ") + e.what());
        }
        if (!written) return false;
    }
    return true;
}

} // namespace vantery::mcp
