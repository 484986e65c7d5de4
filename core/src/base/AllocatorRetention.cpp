#include "vantery/base/AllocatorRetention.hpp"

#include <cstdlib>
#include <string_view>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace vantery {

void boundAllocatorRetention() {
#ifdef __GLIBC__
    // Measured over a million requests. The app (vantery-app-bench --refreshes 500):
    // glibc's own thresholds, resident memory 358 MiB and 125 MiB growth in 200
    // refreshes; fixed at 1 MiB, 110 MiB and 3 MiB growth in 500 (large blocks left
    // below 32 MiB: as flat, but 18 MiB more at the peak). The server (vantery-bench
    // mcp-soak, 500 calls each refreshing against a transcript growing by 20 requests):
    // glibc's own, 161-166 MiB at the 10th call and 177-182 MiB at the 500th, still
    // climbing; fixed, 107 and 111 MiB, within 5 MiB after the 50th. Capping the
    // arenas instead held memory as flat but made the first full scan three times
    // slower: its eight threads shared two.
    constexpr int thresholdBytes = 1 << 20;
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    const auto tuned = [&](std::string_view name) {
        return tunables && std::string_view(tunables).find(name) != std::string_view::npos;
    };
    if (!std::getenv("MALLOC_MMAP_THRESHOLD_") && !tuned("mmap_threshold"))
        mallopt(M_MMAP_THRESHOLD, thresholdBytes);
    if (!std::getenv("MALLOC_TRIM_THRESHOLD_") && !tuned("trim_threshold"))
        mallopt(M_TRIM_THRESHOLD, thresholdBytes);
#endif
}

} // namespace vantery
