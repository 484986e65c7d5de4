#pragma once
// Transcript lines for cache tests: a request's descriptive fields follow from its
// number, so that every line of one request agrees on them.
#include <cstdint>
#include <string>

#include "TranscriptLine.hpp"
#include "vantery/ingest/Scanner.hpp"

namespace vantery::testing {

struct Counts {
    std::int64_t input = 10, output = 20, cacheRead = 0, cacheCreation = 0, webSearch = 0;
};

/// A usage line of request `n` ("msg_<n>:req_<n>") at 2025-10-05 plus `second` seconds,
/// without its line feed.
std::string usageLine(int n, Counts c = {}, int second = 0);

/// Records keyed by request key from a full serial scan.
RequestMap fullScan(const std::vector<SourceHome>& homes, ScanDiagnostics* diag = nullptr);

/// Sets a file's modification time (seconds since 1970, with fraction).
void setMtime(const std::string& path, double seconds);

/// Whether two records agree on every field but sourceRank.
bool sameButRank(const UsageRecord& a, const UsageRecord& b);

} // namespace vantery::testing
