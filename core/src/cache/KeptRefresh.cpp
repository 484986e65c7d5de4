#include "vantery/cache/KeptRefresh.hpp"

#include <exception>
#include <utility>

#include "vantery/cache/CacheFile.hpp"
#include "vantery/cache/CacheLocation.hpp"

namespace vantery {

KeptRefresh refreshAndKeep(ScanCache& cache, const std::vector<SourceHome>& homes) {
    return *refreshAndKeep(cache, homes, std::stop_token());
}

std::optional<ScanCache::Refresh>
refreshLettingGo(ScanCache& cache, const std::vector<SourceHome>& homes, std::stop_token stop) {
    // A file another program replaced is not held past this refresh.
    cache.letGoOfReplacedFile();
    auto refreshed = cache.refresh(homes, stop);
    if (!refreshed || stop.stop_requested()) return std::nullopt;
    return refreshed;
}

CacheKept keepCache(ScanCache& cache, const std::vector<SourceHome>& homes) {
    CacheKept out;
    const std::string& path = cache.cachePath();
    // Rewriting a large cache file after a refresh that changed nothing costs more
    // than the refresh itself.
    if (path.empty() || cache.fileHoldsTable()) return out;
    const cachefile::Target target = cachefile::check(path, homes);
    if (target != cachefile::Target::ok) {
        out.notKept = cachefile::describe(target, path);
        return out;
    }
    try {
        // A folder that cannot be made shows as a failed save.
        paths::makePrivateFolders(paths::folderOf(path));
        cache.save();
        out.saved = true;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const CacheTooLarge& e) {
        out.tooLarge = e.what();
        out.notKept = std::string("cache not saved: ") + e.what();
    } catch (const std::exception& e) {
        out.notKept = std::string("cache not saved: ") + e.what();
    }
    return out;
}

std::optional<KeptRefresh> refreshAndKeep(ScanCache& cache, const std::vector<SourceHome>& homes,
                                          std::stop_token stop) {
    auto refreshed = refreshLettingGo(cache, homes, stop);
    if (!refreshed) return std::nullopt;
    KeptRefresh out;
    static_cast<CacheKept&>(out) = keepCache(cache, homes);
    out.refresh = std::move(*refreshed);
    // Shown with the refresh's statistics, not only logged: every start pays.
    out.refresh.stats.cacheNotKept = out.tooLarge;
    return out;
}

} // namespace vantery
