#pragma once
// The value types every layer passes around: one unified request, who made it,
// the Claude homes, and the counters of a scan.
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vantery/model/AgentIdentity.hpp"
#include "vantery/model/Estimate.hpp"

namespace vantery {

class LocalDay;

/// One unified request: every transcript line that shares `<message id>:<request id>`.
struct UsageRecord {
    double timestamp = 0; ///< earliest line of the request, seconds since 1970
    std::string model;    ///< normalised model id, "unknown" when none was named
    std::string sessionId;
    std::string rawCwd;
    AgentIdentity agent;
    std::string sourceHome; ///< name of the home, e.g. ".claude-work"
    std::int64_t input = 0;
    std::int64_t output = 0;
    std::int64_t cacheWrite5m = 0;
    std::int64_t cacheWrite1h = 0;
    std::int64_t cacheRead = 0;
    std::int64_t webSearch = 0;
    std::int64_t webFetch = 0;
    bool cacheWriteBreakdownAssumed = false;
    std::int64_t sourceRank = std::numeric_limits<std::int64_t>::max();

    /// input + output + both cache writes + cache reads, saturating.
    std::int64_t totalTokens() const noexcept;

    /// List-price cost on the given local day; unknown when the model has no price.
    Estimate<double> cost(const LocalDay& day) const;
};

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

/// The counters that account for every line and file a scan looked at.
struct ScanDiagnostics {
    std::int64_t filesScanned = 0;
    std::vector<std::string> filesUnreadable;
    std::uint64_t bytesRead = 0;
    std::int64_t usageLinesSeen = 0;
    std::int64_t linesRejectedInvalidJSON = 0;
    std::int64_t linesRejectedNoMessage = 0;
    std::int64_t linesNotUsageBearing = 0;
    std::int64_t linesRejectedNoTimestamp = 0;
    std::int64_t linesRejectedNoIdentity = 0;
    std::int64_t linesSkippedZeroUsage = 0;
    std::int64_t longestLineBytes = 0;
    std::string longestLinePath;
    std::int64_t uniqueRequests = 0;
    double duration = 0;
    std::map<std::string, std::int64_t> perHome;

    /// The four rejection counters; not-usage-bearing and zero-usage lines are not rejections.
    std::int64_t totalRejected() const noexcept;

    /// Folds another scan's counters in; leaves uniqueRequests and duration alone.
    void merge(const ScanDiagnostics& other);
};

/// The records of a scan, one per unified request, in no particular order.
struct ScanResult {
    std::vector<UsageRecord> records;
    ScanDiagnostics diagnostics;
};

} // namespace vantery
