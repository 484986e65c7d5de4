#include "widgets/TabFactory.hpp"

#include <algorithm>

#include "widgets/AgentsTab.hpp"
#include "widgets/ProjectsTab.hpp"
#include "widgets/ProvenanceTab.hpp"
#include "widgets/RangeTab.hpp"
#include "widgets/SourcesTab.hpp"
#include "widgets/TodayTab.hpp"

namespace vantery::app {

std::string_view tabLabel(Tab tab) {
    switch (tab) {
    case Tab::today:
        return "Today";
    case Tab::range:
        return "Date range";
    case Tab::provenance:
        return "Provenance";
    case Tab::projects:
        return "Projects";
    case Tab::agents:
        return "Agents";
    case Tab::sources:
        return "Sources & honesty";
    }
    return {};
}

std::optional<Tab> tabFromLabel(std::string_view label) {
    const auto it = std::find_if(allTabs.begin(), allTabs.end(),
                                 [&](Tab tab) { return tabLabel(tab) == label; });
    if (it == allTabs.end()) return std::nullopt;
    return *it;
}

QWidget* createTab(Tab tab, UsageStore& store, QWidget* parent) {
    switch (tab) {
    case Tab::today:
        return new TodayTab(store, parent);
    case Tab::range:
        return new RangeTab(store, parent);
    case Tab::projects:
        return new ProjectsTab(store, parent);
    case Tab::agents:
        return new AgentsTab(store, parent);
    case Tab::provenance:
        return new ProvenanceTab(store, parent);
    case Tab::sources:
        return new SourcesTab(store, parent);
    }
    return new TodayTab(store, parent);
}

} // namespace vantery::app
