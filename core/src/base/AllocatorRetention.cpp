#include "vantery/base/AllocatorRetention.hpp"

#include <cstdlib>
#include <string_view>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace vantery {

void boundAllocatorRetention() {
#ifdef __GLIBC__
    // Measured over a million requests, server calls each refreshing after 20 new
    // requests. glibc's own thresholds: memory climbed call after call (135 MiB after
    // the 10th call, 146 after the 60th). Both fixed at 1 MiB: flat, but each block
    // above 1 MiB was a fresh mapping faulted in and unmapped again, and a call took
    // twice as long. Blocks up to 8 MiB kept in the heaps and the freed tops above
    // 1 MiB given back: flat within 5 MiB, as small as the 1 MiB thresholds left it,
    // and the load's and save's buffers, all below 8 MiB, are heap blocks used again.
    constexpr int mmapThresholdBytes = 8 << 20;
    constexpr int trimThresholdBytes = 1 << 20;
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    const auto tuned = [&](std::string_view name) {
        return tunables && std::string_view(tunables).find(name) != std::string_view::npos;
    };
    if (!std::getenv("MALLOC_MMAP_THRESHOLD_") && !tuned("mmap_threshold"))
        mallopt(M_MMAP_THRESHOLD, mmapThresholdBytes);
    if (!std::getenv("MALLOC_TRIM_THRESHOLD_") && !tuned("trim_threshold"))
        mallopt(M_TRIM_THRESHOLD, trimThresholdBytes);
#endif
}

// Under a sanitizer the heap is the sanitizer's: glibc's trim would only set up glibc's
// own allocator, and two worker threads doing that at once break its count of the
// threads using its main heap (glibc then aborts as the second one exits).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VANTERY_SANITIZER_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VANTERY_SANITIZER_HEAP 1
#endif
#endif

void giveBackFreedMemory() {
#if defined(__GLIBC__) && !defined(VANTERY_SANITIZER_HEAP)
    malloc_trim(0);
#endif
}

} // namespace vantery
