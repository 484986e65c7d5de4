#include "UsageLines.hpp"

#include <cmath>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>

namespace vantery::testing {

std::string usageLine(int n, Counts c, int second) {
    static const char* models[] = {"claude-opus-4-5", "claude-sonnet-4-5-20250929", "gpt-x"};
    char ts[32];
    std::snprintf(ts, sizeof ts, "2025-10-05T%02d:%02d:%02dZ", 10 + second / 3600 % 10,
                  second / 60 % 60, second % 60);
    UsageLine l;
    l.timestamp = ts;
    l.messageId = "msg_" + std::to_string(n);
    l.requestId = "req_" + std::to_string(n);
    l.sessionId = "sess-" + std::to_string(n % 4);
    l.cwd = "/w/p" + std::to_string(n % 2);
    l.agentId = n % 5 == 0 ? "aplanner-0123456789abcdef" : n % 5 == 1 ? "helper" : "";
    l.model = models[n % 3];
    l.input = c.input;
    l.output = c.output;
    l.cacheRead = c.cacheRead;
    l.cacheCreation = c.cacheCreation;
    if (n % 2) l.cacheCreationSplit = {{c.cacheCreation, 0}};
    l.webSearches = c.webSearch;
    l.lineFeed = false;
    return usageLine(l);
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
