#pragma once
// How much freed memory the allocator may keep. Both programs live long: the tray app
// for weeks, the server as long as a Claude Code session, refreshing at every call.

namespace vantery {

/// Fixes glibc's thresholds for giving large blocks and freed heap tops back to the
/// system; each program calls it first thing in main. Left to itself glibc raises both
/// each time a large block is freed, up to 32 and 64 MiB, after which every worker
/// thread's arena keeps that much of a refresh's freed memory, and resident memory
/// climbs with the refreshes. Thresholds the user set (MALLOC_MMAP_THRESHOLD_,
/// MALLOC_TRIM_THRESHOLD_ or their GLIBC_TUNABLES) are left in force. Does nothing on
/// other C libraries.
///
/// The cost: a block above 1 MiB is a fresh mapping each time, its pages faulted in on
/// first touch, so a pass should let its worker threads touch a large scratch block
/// first rather than clear it on one thread beforehand.
void boundAllocatorRetention();

} // namespace vantery
