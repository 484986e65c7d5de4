#include "widgets/TabFactory.hpp"

#include <algorithm>
#include <array>

#include "widgets/AgentsTab.hpp"
#include "widgets/ProjectsTab.hpp"
#include "widgets/ProvenanceTab.hpp"
#include "widgets/RangeTab.hpp"
#include "widgets/SourcesTab.hpp"
#include "widgets/TodayTab.hpp"

namespace vantery::app {
namespace {

template <class Page> QWidget* make(UsageStore& store, QWidget* parent) {
    return new Page(store, parent);
}

using Symbol = Icons::Symbol;
const std::array<TabInfo, 6> table{{
    {Tab::today, "Today", Symbol::sun, "today", &make<TodayTab>},
    {Tab::range, "Date range", Symbol::calendar, "range", &make<RangeTab>},
    {Tab::provenance, "Provenance", Symbol::list, "provenance", &make<ProvenanceTab>},
    {Tab::projects, "Projects", Symbol::folder, "projects", &make<ProjectsTab>},
    {Tab::agents, "Agents", Symbol::people, "agents", &make<AgentsTab>},
    {Tab::sources, "Sources & honesty", Symbol::shield, "sources", &make<SourcesTab>},
}};

} // namespace

std::span<const TabInfo> tabTable() {
    return table;
}

int tabIndex(Tab tab) {
    const auto it =
        std::find_if(table.begin(), table.end(), [tab](const TabInfo& t) { return t.tab == tab; });
    return static_cast<int>(it - table.begin()); // every Tab has its entry
}

const TabInfo& tabInfo(Tab tab) {
    return table[static_cast<std::size_t>(tabIndex(tab))];
}

std::string_view tabLabel(Tab tab) {
    return tabInfo(tab).label;
}

std::optional<Tab> tabFromLabel(std::string_view label) {
    const auto it = std::find_if(table.begin(), table.end(),
                                 [&](const TabInfo& t) { return t.label == label; });
    if (it == table.end()) return std::nullopt;
    return it->tab;
}

QWidget* createTab(Tab tab, UsageStore& store, QWidget* parent) {
    return tabInfo(tab).create(store, parent);
}

} // namespace vantery::app
