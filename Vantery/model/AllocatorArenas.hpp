#pragma once
// How many allocation pools the process keeps: a tray app runs for weeks.

namespace vantery::app {

/// Caps glibc's malloc arenas for the process; call first thing in main, before any
/// thread starts. glibc gives every thread that allocates an arena of its own (up to
/// eight per core) and keeps each arena's freed pages: the refreshes, run on pool
/// threads, each left their report's pages scattered over other arenas, and resident
/// memory grew with every refresh. A MALLOC_ARENA_MAX or GLIBC_TUNABLES arena_max set by
/// the user is left in force. Does nothing on other C libraries.
void capAllocatorArenas();

} // namespace vantery::app
