#pragma once
// The one "refresh and keep the cache" step every program runs: bring the cache up to
// date and keep it on disk where it may be kept.
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "vantery/cache/ScanCache.hpp"

namespace vantery {

/// What keepCache did.
struct CacheKept {
    bool saved = false; ///< the cache file was written by this call
    /// Why the cache file was not written when it did not already hold the table: a
    /// refused location or a failed save. Absent when saved or already held. Reported,
    /// not logged: only the server logs.
    std::optional<std::string> notKept;
    /// Set when the cache was too large to be kept: the reason the statistics show
    /// (RefreshStats::cacheNotKept), since every start then pays a full reading.
    std::string tooLarge;
};

/// What refreshAndKeep did.
struct KeptRefresh : CacheKept {
    ScanCache::Refresh refresh;
};

/// The first half of refreshAndKeep: lets go of a cache file another program replaced
/// (ScanCache::letGoOfReplacedFile), then refreshes `cache` against `homes`. Nothing
/// when `stop` was asked for.
std::optional<ScanCache::Refresh>
refreshLettingGo(ScanCache& cache, const std::vector<SourceHome>& homes, std::stop_token stop = {});

/// The second half: saves `cache` unless its file already holds the table, it has no
/// location, or the location is refused (inside a Claude home, or over a file that is
/// not a cache file), making its folder (private) when missing. Throws only
/// std::bad_alloc.
CacheKept keepCache(ScanCache& cache, const std::vector<SourceHome>& homes);

/// refreshLettingGo, then keepCache; the reason a cache too large was not kept goes in
/// the refresh's statistics. The figures never depend on the save. Writes nothing to
/// stderr; reads no roster. Throws only std::bad_alloc.
KeptRefresh refreshAndKeep(ScanCache& cache, const std::vector<SourceHome>& homes);
/// The same, giving up as soon as `stop` is asked for (ScanCache::refresh): then
/// nothing is returned and nothing is saved, so the cache file stays as it was.
std::optional<KeptRefresh> refreshAndKeep(ScanCache& cache, const std::vector<SourceHome>& homes,
                                          std::stop_token stop);

} // namespace vantery
