#pragma once
// How much freed memory the allocator may keep. Both programs live long: the tray app
// for weeks, the server as long as a Claude Code session, refreshing at every call.

namespace vantery {

/// Fixes glibc's thresholds: blocks up to 8 MiB come from the heaps, and a heap's freed
/// top above 1 MiB goes back to the system. Left to itself
/// glibc raises its give-back threshold up to 64 MiB as large blocks are freed, and then
/// every worker thread's heap keeps that much of a refresh's freed memory, so resident
/// memory climbs with the refreshes. Each program calls it first thing in main.
///
/// Only the give-back is bounded: a block freed and asked for again within a refresh is
/// reused from the heap, not mapped and faulted in anew.
/// Thresholds the user set (MALLOC_MMAP_THRESHOLD_, MALLOC_TRIM_THRESHOLD_ or their
/// GLIBC_TUNABLES) are left in force. Does nothing on other C libraries.
void boundAllocatorRetention();

/// Gives the pages of every heap's freed blocks back to the system (glibc's
/// malloc_trim), wherever they lie. For after a large piece of work done once, such as
/// a full reading of the transcripts, whose freed blocks lie between the ones kept:
/// the next work faults in again whatever it takes of them. Does nothing on other C
/// libraries.
void giveBackFreedMemory();

} // namespace vantery
