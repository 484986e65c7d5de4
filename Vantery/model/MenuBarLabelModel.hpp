#pragma once
// What the menu-bar item says: a flame until the figures are ready, then today's
// cost in a compact dollar form.
#include <string>

#include "model/UsageStore.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::app {

struct MenuBarLabelModel {
    /// True while no figures are ready (idle or scanning): the label is the flame symbol.
    bool flame = true;
    /// The compact amount once ready ("$13", "≥$1.2k"); empty while the flame shows.
    std::string text;
    /// The amount is a lower bound: some of today's requests have no known price.
    bool lowerBound = false;
    /// One line for the tooltip and the menu: today's exact amount ("≥ " before a lower
    /// bound) and request count, or what the store is doing while the flame shows.
    std::string tooltip;

    friend bool operator==(const MenuBarLabelModel&, const MenuBarLabelModel&) = default;
};

/// The label for the store's state and today's report. Never fails.
MenuBarLabelModel buildMenuBarLabel(const UsageStore::LoadState& state, const Report& today);

/// "$" and the amount rounded to whole dollars (halves away from zero), or in thousands
/// with one decimal from 1000 up: 999.49 → $999, 999.5 → $1000, 12340 → $12.3k.
/// The threshold is tested on the unrounded amount. A lower bound rounds down instead
/// (12.9 → $12), as every dollar bound does (CostEstimate::moneyRounded).
std::string compactDollars(double amount, Rounding rounding = Rounding::nearest);

} // namespace vantery::app
