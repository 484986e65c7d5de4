#include "UsageLines.hpp"

#include <cmath>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>

namespace vantery::testing {

std::string usageLine(int n, Counts c, int second) {
    static const char* models[] = {"claude-opus-4-5", "claude-sonnet-4-5-20250929", "gpt-x"};
    std::string agent = n % 5 == 0   ? R"("agentId":"aplanner-0123456789abcdef",)"
                        : n % 5 == 1 ? R"("agentId":"helper",)"
                                     : "";
    int minute = second / 60 % 60, hour = 10 + second / 3600 % 10;
    char ts[32];
    std::snprintf(ts, sizeof ts, "2025-10-05T%02d:%02d:%02dZ", hour, minute, second % 60);
    std::string split = n % 2 ? R"(,"cache_creation":{"ephemeral_5m_input_tokens":)" +
                                    std::to_string(c.cacheCreation) +
                                    R"(,"ephemeral_1h_input_tokens":0})"
                              : "";
    return std::string(R"({"type":"assistant","timestamp":")") + ts + R"(","requestId":"req_)" +
           std::to_string(n) + R"(","sessionId":"sess-)" + std::to_string(n % 4) +
           R"(","cwd":"/w/p)" + std::to_string(n % 2) + R"(",)" + agent +
           R"("message":{"id":"msg_)" + std::to_string(n) + R"(","model":")" + models[n % 3] +
           R"(","usage":{"input_tokens":)" + std::to_string(c.input) + R"(,"output_tokens":)" +
           std::to_string(c.output) + R"(,"cache_read_input_tokens":)" +
           std::to_string(c.cacheRead) + R"(,"cache_creation_input_tokens":)" +
           std::to_string(c.cacheCreation) + split +
           R"(,"server_tool_use":{"web_search_requests":)" + std::to_string(c.webSearch) + "}}}}";
}

RequestMap fullScan(const std::vector<SourceHome>& homes, ScanDiagnostics* diag) {
    auto keyed = Scanner::scanKeyed(homes, false);
    if (diag) *diag = keyed.diagnostics;
    return std::move(keyed.records);
}

void setMtime(const std::string& path, double seconds) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(std::floor(seconds));
    times[0].tv_nsec = times[1].tv_nsec = static_cast<long>((seconds - std::floor(seconds)) * 1e9);
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        throw std::runtime_error("cannot set the time of " + path);
}

bool sameButRank(const UsageRecord& a, const UsageRecord& b) {
    return a.timestamp == b.timestamp && a.model == b.model && a.sessionId == b.sessionId &&
           a.rawCwd == b.rawCwd && a.agent == b.agent && a.sourceHome == b.sourceHome &&
           a.input == b.input && a.output == b.output && a.cacheWrite5m == b.cacheWrite5m &&
           a.cacheWrite1h == b.cacheWrite1h && a.cacheRead == b.cacheRead &&
           a.webSearch == b.webSearch && a.webFetch == b.webFetch &&
           a.cacheWriteBreakdownAssumed == b.cacheWriteBreakdownAssumed;
}

} // namespace vantery::testing
