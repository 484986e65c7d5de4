#pragma once
// Whether the panel and the Today tab still wait for their first figures: until the
// store's first publish after launch they show this text, never a cost or an empty day.
#include <optional>
#include <string>

#include "model/UsageStore.hpp"

namespace vantery::app {

/// Before the first publish (no last refresh yet): the store's scanning message, or
/// "waiting for the first scan" while it has not started; absent once figures exist.
inline std::optional<std::string> loadingText(const UsageStore::LoadState& state,
                                              std::optional<double> lastRefresh) {
    if (lastRefresh) return std::nullopt;
    return state.isScanning() ? state.message : std::string("waiting for the first scan");
}

} // namespace vantery::app
