#pragma once
// A unified request as a 48-byte row whose texts are small ids into a dictionary.
#include <cstdint>

#include "vantery/model/RequestCounts.hpp"

namespace vantery {

/// One unified request in 48 bytes. The counters that fit are held here; a request with
/// a counter that does not (or any web fetch) is `wide`: its `input` field then holds the
/// position of its full counters in the dictionary and the other four are 0.
struct RequestRow {
    double timestamp = 0; ///< earliest line of the request, seconds since 1970
    std::uint32_t input = 0;
    std::uint32_t output = 0;
    std::uint32_t cacheWrite5m = 0;
    std::uint32_t cacheWrite1h = 0;
    std::uint32_t cacheRead = 0;
    std::uint32_t model = 0;   ///< id of the normalised model id
    std::uint32_t session = 0; ///< id of the session id
    std::uint32_t cwd = 0;     ///< id of the raw working directory
    std::uint32_t agent = 0;   ///< id of the agent; 0 is always the main session
    std::uint16_t webSearch = 0;
    std::uint8_t home = 0; ///< id of the home's name
    std::uint8_t flags = 0;

    static constexpr std::uint8_t assumedFlag = 1; ///< cache-write breakdown assumed
    static constexpr std::uint8_t wideFlag = 2;

    bool cacheWriteBreakdownAssumed() const noexcept { return (flags & assumedFlag) != 0; }
    bool wide() const noexcept { return (flags & wideFlag) != 0; }
};
static_assert(sizeof(RequestRow) == 48);

} // namespace vantery
