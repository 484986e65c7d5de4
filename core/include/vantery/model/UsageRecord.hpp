#pragma once
// The value types every layer passes around: one unified request, who made it,
// the Claude homes, and the counters of a scan.
#include <algorithm>
#include <concepts>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vantery/model/AgentIdentity.hpp"
#include "vantery/model/Estimate.hpp"
#include "vantery/model/LineCounters.hpp"
#include "vantery/model/RequestCounts.hpp"

namespace vantery {

class LocalDay;

/// One unified request: every transcript line that shares `<message id>:<request id>`
/// (the message id alone for lines without a request id).
/// Its counts (input, output, both cache writes, cache reads, web searches and
/// fetches) come from RequestCounts, with totalTokens().
struct UsageRecord : RequestCounts {
    double timestamp = 0; ///< earliest line of the request, seconds since 1970
    std::string model;    ///< normalised model id, "unknown" when none was named
    std::string sessionId;
    std::string rawCwd;
    AgentIdentity agent;
    std::string sourceHome; ///< name of the home, e.g. ".claude-work"
    bool cacheWriteBreakdownAssumed = false;
    std::int64_t sourceRank = std::numeric_limits<std::int64_t>::max();

    /// Another sighting of this request: each count its largest, the time its earliest.
    void fold(const RequestCounts& other, double otherTimestamp) noexcept {
        foldMax(other);
        timestamp = std::min(timestamp, otherTimestamp);
    }

    /// List-price cost on the given local day; unknown when the model has no price.
    Estimate<double> cost(const LocalDay& day) const;

    // A record has no identity of its own: without this, the counts' equality would
    // compare records by their counts alone.
    friend bool operator==(const UsageRecord&, const UsageRecord&) = delete;
};
static_assert(!std::equality_comparable<UsageRecord>);

/// One Claude home with its two folders; nothing is checked on disk.
struct SourceHome {
    std::string name;
    std::string projectsPath;
    std::string teamsPath;

    SourceHome() = default;
    SourceHome(std::string name, const std::string& home);

    /// The four homes read by the system, in their fixed order.
    static std::vector<SourceHome> defaults(const std::string& home);
    /// The names of those four homes, in the same order.
    static std::vector<std::string> defaultNames();

    friend bool operator==(const SourceHome&, const SourceHome&) = default;
};

/// The counters that account for every line and file a scan looked at; the line
/// counters, with totalRejected(), come from LineCounters.
struct ScanDiagnostics : LineCounters {
    std::int64_t filesScanned = 0;
    std::vector<std::string> filesUnreadable;
    std::uint64_t bytesRead = 0;
    std::int64_t longestLineBytes = 0;
    std::string longestLinePath;
    std::int64_t uniqueRequests = 0;
    double duration = 0;
    std::map<std::string, std::int64_t> perHome;

    /// Folds another scan's counters in; leaves uniqueRequests and duration alone.
    void merge(const ScanDiagnostics& other);

    // Without this, the line counters' equality would compare diagnostics by those alone.
    friend bool operator==(const ScanDiagnostics&, const ScanDiagnostics&) = delete;
};

/// The records of a scan, one per unified request, in no particular order.
struct ScanResult {
    std::vector<UsageRecord> records;
    ScanDiagnostics diagnostics;
};

} // namespace vantery
