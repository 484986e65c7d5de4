#include "TranscriptLine.hpp"

namespace vantery::testing {
namespace {

// A JSON object written key by key, the commas placed by the writer.
class ObjectWriter {
  public:
    ObjectWriter& text(const char* k, const std::string& value) {
        key(k);
        out_.append(1, '"').append(value).append(1, '"');
        return *this;
    }
    ObjectWriter& number(const char* k, std::int64_t value) {
        key(k);
        out_ += std::to_string(value);
        return *this;
    }
    ObjectWriter& open(const char* k) {
        key(k);
        out_ += '{';
        first_ = true;
        return *this;
    }
    ObjectWriter& close() {
        out_ += '}';
        first_ = false;
        return *this;
    }
    std::string finish() { return std::move(out_) + '}'; }

  private:
    void key(const char* k) {
        if (!first_) out_ += ',';
        first_ = false;
        out_.append(1, '"').append(k).append("\":");
    }
    std::string out_ = "{";
    bool first_ = true;
};

} // namespace

std::string usageLine(const UsageLine& l) {
    ObjectWriter w;
    if (!l.type.empty()) w.text("type", l.type);
    w.text("timestamp", l.timestamp).text("requestId", l.requestId);
    if (!l.sessionId.empty()) w.text("sessionId", l.sessionId);
    if (l.cwd) w.text("cwd", *l.cwd);
    if (!l.agentId.empty()) w.text("agentId", l.agentId);
    w.open("message").text("id", l.messageId).text("model", l.model);
    w.open("usage").number("input_tokens", l.input).number("output_tokens", l.output);
    if (l.cacheRead) w.number("cache_read_input_tokens", *l.cacheRead);
    if (l.cacheCreation) w.number("cache_creation_input_tokens", *l.cacheCreation);
    if (const auto& split = l.cacheCreationSplit)
        w.open("cache_creation")
            .number("ephemeral_5m_input_tokens", split->first)
            .number("ephemeral_1h_input_tokens", split->second)
            .close();
    if (l.webSearches)
        w.open("server_tool_use").number("web_search_requests", *l.webSearches).close();
    std::string line = w.close().close().finish();
    if (l.lineFeed) line += '\n';
    return line;
}

} // namespace vantery::testing
