// The breakdown axes: one row per axis with every fact of it (names, order, where its
// rows come from, what its descriptive cells say), and the rows of an axis.
#include <array>
#include <utility>

#include "export/ExportParts.hpp"
#include "export/ExportText.hpp"
#include "report/RankOrder.hpp"

namespace vantery {

using Parts = detail::ExportParts;
using Entry = Parts::Entry;

namespace {

using RowsOf = void (*)(const Report&, const Calendar&, std::vector<Entry>&);
using ColumnsOf = Parts::AxisCells (*)(const Entry&, const Report&, std::string_view note);

struct AxisFacts {
    Exporter::Axis::Value axis;
    std::string_view rawValue;
    std::string_view columnValue; ///< the CSV `axis` cell and the file-name part
    std::string_view title;       ///< the block title of the text summary
    bool chronological;           ///< rows oldest first rather than by cost
    RowsOf rows;                  ///< the entries, unsorted
    ColumnsOf columns;
    std::string_view note; ///< the attribution note, where it is one sentence
};

template <class Map, class MakeEntry>
void collect(const Map& map, std::vector<Entry>& out, MakeEntry make) {
    out.reserve(map.size());
    for (const auto& [key, bucket] : map)
        out.push_back(make(key, bucket));
}

// Axes keyed by a text: key and label are the text itself.
template <auto Member>
void textRows(const Report& report, const Calendar&, std::vector<Entry>& out) {
    collect(report.*Member, out, [](const std::string& key, const Bucket& b) {
        return Entry{key, key, b, std::nullopt};
    });
}

void agentRows(const Report& report, const Calendar&, std::vector<Entry>& out) {
    collect(report.byAgent, out, [](const AgentIdentity& a, const Bucket& b) {
        return Entry{a.description(), a.label(), b, a};
    });
}

void dayRows(const Report& report, const Calendar& calendar, std::vector<Entry>& out) {
    Parts::Stamps stamps(calendar);
    collect(report.byDay, out, [&](LocalDay d, const Bucket& b) {
        std::string key = stamps.day(d);
        return Entry{key, key, b, std::nullopt};
    });
}

void hourRows(const Report& report, const Calendar&, std::vector<Entry>& out) {
    collect(report.byHour, out, [](int hour, const Bucket& b) {
        std::string key = exporttext::integer(std::int64_t{hour});
        if (hour >= 0 && hour < 10) key.insert(0, 1, '0');
        return Entry{key, key + ":00", b, std::nullopt};
    });
}

const std::string notBrokenDown(Exporter::notBrokenDown);

Parts::AxisCells notBrokenDownColumns(const Entry&, const Report&, std::string_view note) {
    const std::string& nb = notBrokenDown;
    return {nb, nb, nb, nb, std::string(note)};
}

Parts::AxisCells projectColumns(const Entry& e, const Report& report, std::string_view) {
    const std::string& nb = notBrokenDown;
    return {e.key, nb, nb, nb, Parts::projectAttribution(e.key, report)};
}

Parts::AxisCells sessionColumns(const Entry& e, const Report& report, std::string_view note) {
    const std::string& nb = notBrokenDown;
    auto it = report.sessionProject.find(e.key);
    return {it != report.sessionProject.end()
                ? it->second
                : "unknown — no project could be attached to this session",
            e.key, nb, nb, std::string(note)};
}

Parts::AxisCells agentColumns(const Entry& e, const Report& report, std::string_view) {
    const std::string& nb = notBrokenDown;
    if (!e.agent) return {nb, nb, nb, nb, nb};
    const AgentIdentity& a = *e.agent;
    auto p = report.agentProject.find(a);
    auto s = report.agentSession.find(a);
    Parts::AxisCells c{
        p != report.agentProject.end() ? p->second : "unknown — no project recorded for this agent",
        s != report.agentSession.end() ? s->second : "unknown — no session recorded for this agent",
        a.label(), "", ""};
    switch (a.kind()) {
    case AgentIdentity::Kind::named:
        c.agentKind = "named subagent";
        c.note = "name read out of the agentId itself";
        break;
    case AgentIdentity::Kind::anonymous:
        c.agentKind = "anonymous subagent";
        c.note = "the agentId carries no name and no roster entry matched; the agent is "
                 "reported as anonymous rather than given a plausible name";
        break;
    case AgentIdentity::Kind::main:
        c.agentKind = "main session";
        c.note = "requests with no agentId, i.e. the main session";
        break;
    }
    return c;
}

using A = Exporter::Axis;

// In Axis::allCases() order, which is the order of the enumeration.
constexpr std::array<AxisFacts, 8> axes = {{
    {A::project,
     "project",
     "project",
     "BY PROJECT",
     false,
     textRows<&Report::byProject>,
     projectColumns,
     {}},
    {A::rawCwd, "rawCwd", "raw_cwd", "BY RAW CWD", false, textRows<&Report::byRawCwd>,
     notBrokenDownColumns, "raw cwd as written in the transcript, before any folding"},
    {A::session, "session", "session", "BY SESSION", false, textRows<&Report::bySession>,
     sessionColumns, "project taken from the session's last activity"},
    {A::agent, "agent", "agent", "BY AGENT", false, agentRows, agentColumns, {}},
    {A::model, "model", "model", "BY MODEL", false, textRows<&Report::byModel>,
     notBrokenDownColumns, "one model, across every project and agent in range"},
    {A::day, "day", "day", "BY DAY", true, dayRows, notBrokenDownColumns,
     "calendar day in the local time zone, as the aggregator counts it"},
    {A::hour, "hour", "hour", "BY HOUR", true, hourRows, notBrokenDownColumns,
     "hour of the local day, across the selected period"},
    {A::source, "source", "source_home", "BY SOURCE HOME", false, textRows<&Report::bySource>,
     notBrokenDownColumns, "the Claude home directory the transcripts were read from"},
}};

constexpr bool inEnumerationOrder() {
    for (std::size_t i = 0; i < axes.size(); ++i)
        if (static_cast<std::size_t>(axes[i].axis) != i) return false;
    return true;
}
static_assert(inEnumerationOrder(), "one row per axis, in the order of Axis::Value");

template <std::size_t... I>
constexpr std::array<A, sizeof...(I)> inTableOrder(std::index_sequence<I...>) {
    return {axes[I].axis...};
}

const AxisFacts& facts(A axis) noexcept {
    return axes[static_cast<std::size_t>(axis.value())];
}

// Chronological keys are fixed-width, so their text order is time order. Every other
// axis ranks as the report's top lists do.
void sortEntries(std::vector<Entry>& entries, A axis) {
    if (axis.isChronological()) {
        std::stable_sort(entries.begin(), entries.end(),
                         [](const auto& a, const auto& b) { return a.key < b.key; });
        return;
    }
    std::vector<detail::RankCandidate> candidates;
    candidates.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        candidates.push_back({detail::rankMeasure(entries[i].bucket.cost.priced), i});
    const auto order =
        detail::firstRanked(candidates, entries.size(),
                            [&](std::size_t i) -> const std::string& { return entries[i].key; });
    std::vector<Entry> sorted;
    sorted.reserve(entries.size());
    for (std::size_t i : order)
        sorted.push_back(std::move(entries[i]));
    entries = std::move(sorted);
}

} // namespace

std::string_view Exporter::Axis::rawValue() const noexcept {
    return facts(*this).rawValue;
}

std::string_view Exporter::Axis::columnValue() const noexcept {
    return facts(*this).columnValue;
}

std::string_view Exporter::Axis::title() const noexcept {
    return facts(*this).title;
}

bool Exporter::Axis::isChronological() const noexcept {
    return facts(*this).chronological;
}

std::optional<Exporter::Axis> Exporter::Axis::fromRawValue(std::string_view raw) noexcept {
    for (const AxisFacts& f : axes)
        if (f.rawValue == raw) return f.axis;
    return std::nullopt;
}

const std::array<Exporter::Axis, 8>& Exporter::Axis::allCases() noexcept {
    static constexpr auto all = inTableOrder(std::make_index_sequence<axes.size()>());
    return all;
}

std::vector<Entry> Parts::rows(const Report& report, Axis axis, const Calendar& calendar) {
    std::vector<Entry> out;
    facts(axis).rows(report, calendar, out);
    sortEntries(out, axis);
    return out;
}

Parts::AxisCells Parts::axisCells(const Entry& entry, Axis axis, const Report& report) {
    const AxisFacts& f = facts(axis);
    return f.columns(entry, report, f.note);
}

} // namespace vantery
