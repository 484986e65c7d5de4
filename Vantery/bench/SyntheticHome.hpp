#pragma once
// A user home of compact transcripts for the app benchmark: a year of requests ending
// now, spread over sessions, projects, agents, models and two Claude homes.
#include <cstdint>
#include <string>

namespace vantery::app::bench {

/// Writes `requests` requests under `home` (`.claude` and `.claude-work`), one usage line
/// each, the newest a minute before `now`. Streams to disk; holds little in memory.
/// Returns the bytes written.
std::uint64_t writeSyntheticHome(const std::string& home, std::int64_t requests, double now);

} // namespace vantery::app::bench
