#pragma once
// `scan --search`: the scan's line search timed against its alternatives.
#include <cstddef>
#include <cstdint>
#include <vector>

#include <nlohmann/json.hpp>

#include "vantery/ingest/Scanner.hpp"

namespace bench {

/// Each candidate's median search time over five alternating rounds on `workers`
/// threads, with the lines it found (the same for all, and the scan's usage lines).
nlohmann::ordered_json searchTiming(const std::vector<vantery::TranscriptFile>& files,
                                    std::size_t workers, std::uint64_t bytes);

} // namespace bench
