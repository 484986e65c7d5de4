#pragma once
// The texts of the main window's status bar and of its toolbar's scan-progress item:
// which program and version runs, and how fresh the figures are.
#include <optional>
#include <string>

#include "model/UsageStore.hpp"

namespace vantery::app::StatusBarModel {

/// The identity group, left to right: name, optional version, separator, freshness.
struct Texts {
    std::string name;
    std::optional<std::string> version; ///< "v1.2.3"; absent when no version was shipped
    std::string separator;
    std::string freshness;
    friend bool operator==(const Texts&, const Texts&) = default;
};

/// The scanning message while the store works; otherwise "updated " and the age of the
/// last refresh measured from `now`, or "not scanned yet" before any refresh.
std::string freshness(const UsageStore::LoadState& state, std::optional<double> lastRefresh,
                      double now);

/// Every text of the bar. An empty `shippedVersion` counts as absent.
Texts build(const UsageStore::LoadState& state, std::optional<double> lastRefresh,
            const std::optional<std::string>& shippedVersion, double now);

/// The toolbar's progress text: the scanning message, absent in every other state.
std::optional<std::string> progress(const UsageStore::LoadState& state);

} // namespace vantery::app::StatusBarModel
