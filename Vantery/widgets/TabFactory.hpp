#pragma once
// The analysis tabs of the main window: one table says everything the app keeps about
// a tab (label, icon, screenshot name, how its page is built), in sidebar order.
#include <QString>

#include <optional>
#include <span>
#include <string_view>

#include "widgets/Icons.hpp"

class QWidget;

namespace vantery::app {

class UsageStore;

enum class Tab { today, range, provenance, projects, agents, sources };

/// One tab's entry in the table.
struct TabInfo {
    Tab tab;
    std::string_view label;          ///< the sidebar label ("Date range")
    Icons::Symbol icon;              ///< the sidebar icon
    std::string_view screenshotName; ///< the picture's name: docs/main-<name>.png
    /// A fresh page over the store, owned by `parent` (view state starts over).
    QWidget* (*create)(UsageStore& store, QWidget* parent);
};

/// Every tab, once, in sidebar order.
std::span<const TabInfo> tabTable();
/// The entry of `tab`.
const TabInfo& tabInfo(Tab tab);
/// The position of `tab` in the table (its sidebar row).
int tabIndex(Tab tab);

/// The sidebar label: "Today", "Date range", "Provenance", "Projects", "Agents",
/// "Sources & honesty".
std::string_view tabLabel(Tab tab);
/// The tab whose label is exactly `label` (case-sensitive); absent for anything else.
std::optional<Tab> tabFromLabel(std::string_view label);

/// A new page for `tab` over the store, owned by `parent`. Each call builds a fresh
/// widget, so a tab's view state starts over whenever it is selected again.
QWidget* createTab(Tab tab, UsageStore& store, QWidget* parent);

} // namespace vantery::app
