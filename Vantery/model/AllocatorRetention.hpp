#pragma once
// How much freed memory the allocator may keep: a tray app runs for weeks.

namespace vantery::app {

/// Fixes glibc's thresholds for giving large blocks and freed heap tops back to the
/// system; call first thing in main. Left to itself glibc raises both each time a large
/// block is freed, up to 32 and 64 MiB, after which every worker thread's arena keeps
/// that much of a refresh's freed memory, and resident memory climbed with the refreshes.
/// Thresholds the user set (MALLOC_MMAP_THRESHOLD_, MALLOC_TRIM_THRESHOLD_ or their
/// GLIBC_TUNABLES) are left in force. Does nothing on other C libraries.
void boundAllocatorRetention();

} // namespace vantery::app
