#pragma once
// The one builder of transcript usage lines for every test suite, in the shape Claude
// Code writes them. Keys come in one fixed order; the optional ones are left out unless set.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace vantery::testing {

struct UsageLine {
    std::string type = "assistant"; ///< left out when empty
    std::string timestamp = "2025-03-10T12:00:00Z";
    std::string messageId = "msg_1";
    std::string requestId = "req_1";
    std::string sessionId = "s1";               ///< left out when empty
    std::optional<std::string> cwd = "/w/repo"; ///< left out when absent
    std::string agentId;                        ///< left out when empty (the main session)
    std::string model = "claude-sonnet-4-5";
    std::int64_t input = 1000;
    std::int64_t output = 100;
    std::optional<std::int64_t> cacheRead;     ///< "cache_read_input_tokens"
    std::optional<std::int64_t> cacheCreation; ///< "cache_creation_input_tokens"
    /// The "cache_creation" split: 5-minute and 1-hour writes.
    std::optional<std::pair<std::int64_t, std::int64_t>> cacheCreationSplit;
    std::optional<std::int64_t> webSearches; ///< "server_tool_use"'s "web_search_requests"
    bool lineFeed = true;
};

/// The JSONL line, with its line feed unless `lineFeed` is false.
std::string usageLine(const UsageLine& l);

} // namespace vantery::testing
