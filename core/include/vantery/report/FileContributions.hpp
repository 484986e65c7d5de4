#pragma once
// What each cached transcript file contributed to a figure: the one computation
// behind the server's provenance answer and the exported provenance document.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "vantery/base/Calendar.hpp"
#include "vantery/cache/ScanCache.hpp"
#include "vantery/model/UsageRecord.hpp"
#include "vantery/report/Bucket.hpp"

namespace vantery {

/// The requests of one file that count, added up.
struct FileContribution {
    std::size_t file = 0; ///< position of the file in the list given
    Bucket bucket;        ///< its counted requests, each priced on its own local day
};

/// The contributing files of a period and filter, and how the files share requests.
struct FileContributions {
    /// Files with at least one counted request, by priced dollars, highest first;
    /// files of equal amounts keep the order of the list given.
    std::vector<FileContribution> files;
    std::int64_t distinctRequests = 0;   ///< distinct request keys over every file
    std::int64_t duplicatedRequests = 0; ///< of those, the keys counted in two files or more

    /// A request counts when its local day in `calendar` lies in [from, to] (an absent
    /// bound is no bound) and `keep`, when given, accepts it. Within a file requests are
    /// added in the file's block order (the order the file first met them), so that a
    /// file's cost rounds the same on every run, thread count and cache load.
    static FileContributions of(std::span<const ScanCache::FileProvenance> files,
                                const Calendar& calendar, std::optional<LocalDay> from,
                                std::optional<LocalDay> to,
                                const std::function<bool(const RequestRow&)>& keep);
};

} // namespace vantery
