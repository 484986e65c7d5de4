#pragma once
// The six analysis tabs of the main window, in sidebar order, and the one place that
// builds a tab's page.
#include <QString>

#include <array>
#include <optional>
#include <string_view>

class QWidget;

namespace vantery::app {

class UsageStore;

enum class Tab { today, range, provenance, projects, agents, sources };

/// Every tab in sidebar order.
inline constexpr std::array<Tab, 6> allTabs{Tab::today,    Tab::range,  Tab::provenance,
                                            Tab::projects, Tab::agents, Tab::sources};

/// The sidebar label: "Today", "Date range", "Provenance", "Projects", "Agents",
/// "Sources & honesty".
std::string_view tabLabel(Tab tab);
/// The tab whose label is exactly `label` (case-sensitive); absent for anything else.
std::optional<Tab> tabFromLabel(std::string_view label);

/// A new page for `tab` over the store, owned by `parent`. Each call builds a fresh
/// widget, so a tab's view state starts over whenever it is selected again.
QWidget* createTab(Tab tab, UsageStore& store, QWidget* parent);

} // namespace vantery::app
