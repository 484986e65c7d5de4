#include "vantery/cache/KeptRefresh.hpp"

#include <exception>
#include <utility>

#include "vantery/cache/CacheFile.hpp"
#include "vantery/cache/CacheLocation.hpp"

namespace vantery {

KeptRefresh refreshAndKeep(ScanCache& cache, const std::vector<SourceHome>& homes) {
    return *refreshAndKeep(cache, homes, std::stop_token());
}

std::optional<KeptRefresh> refreshAndKeep(ScanCache& cache, const std::vector<SourceHome>& homes,
                                          std::stop_token stop) {
    KeptRefresh out;
    // A file another program replaced is not held past this refresh.
    cache.letGoOfReplacedFile();
    auto refreshed = cache.refresh(homes, stop);
    if (!refreshed || stop.stop_requested()) return std::nullopt;
    out.refresh = std::move(*refreshed);
    const std::string& path = cache.cachePath();
    // Rewriting a large cache file after a refresh that changed nothing costs more
    // than the refresh itself.
    if (!path.empty() && !cache.fileHoldsTable()) {
        const cachefile::Target target = cachefile::check(path, homes);
        if (target != cachefile::Target::ok) {
            out.notKept = cachefile::describe(target, path);
        } else {
            try {
                // A folder that cannot be made shows as a failed save.
                paths::makePrivateFolders(paths::folderOf(path));
                cache.save();
                out.saved = true;
            } catch (const std::bad_alloc&) {
                throw;
            } catch (const CacheTooLarge& e) {
                // Shown with the refresh's statistics, not only logged: every start pays.
                out.refresh.stats.cacheNotKept = e.what();
                out.notKept = std::string("cache not saved: ") + e.what();
            } catch (const std::exception& e) {
                out.notKept = std::string("cache not saved: ") + e.what();
            }
        }
    }
    return out;
}

} // namespace vantery
