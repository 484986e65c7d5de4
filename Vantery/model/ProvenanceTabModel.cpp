#include "model/ProvenanceTabModel.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "model/Fmt.hpp"
#include "vantery/base/Text.hpp"

namespace vantery::app {

namespace {

/// Local days of many instants without asking the zone for each one: the offset only
/// changes at transitions, so the span that holds the last instant usually holds the next.
class DayFinder {
  public:
    explicit DayFinder(const Calendar& calendar) : calendar_(calendar) {}
    LocalDay operator()(double instant) {
        if (!span_.contains(instant)) span_ = calendar_.offsetSpan(instant);
        const double local = instant + span_.offsetSeconds;
        return LocalDay(static_cast<std::int32_t>(std::floor(local / 86400.0)));
    }

  private:
    const Calendar& calendar_;
    Calendar::OffsetSpan span_{0, 0, 0};
};

/// The rows on one day of the user's calendar, each with its project label resolved:
/// from the index when it covers the table, else by walking every row.
class DayRows {
  public:
    DayRows(const ProvenanceSource& source, LocalDay nodeDay)
        : userDay_(source.userCalendar.dayOf(source.calendar.startOfDay(nodeDay))) {
        const ProvenanceIndex* index = source.index;
        if (index && index->covers(source.table, source.userCalendar)) {
            positions_ = index->rowsOn(userDay_);
            labels_ = &index->labels();
            return;
        }
        own_ = std::make_unique<ProjectLabels>(source.table);
        DayFinder dayOf(source.userCalendar);
        std::uint32_t i = 0;
        for (const RequestRow& row : source.table) {
            const std::uint32_t position = i++;
            if (dayOf(row.timestamp) != userDay_) continue;
            own_->resolve(source.table, row, source.resolver);
            ownPositions_.push_back(position);
        }
        positions_ = ownPositions_;
        labels_ = own_.get();
    }

    LocalDay userDay() const noexcept { return userDay_; }
    std::span<const std::uint32_t> positions() const noexcept { return positions_; }
    const ProjectLabels& labels() const noexcept { return *labels_; }

  private:
    LocalDay userDay_;
    std::span<const std::uint32_t> positions_;
    const ProjectLabels* labels_ = nullptr;
    std::unique_ptr<ProjectLabels> own_;
    std::vector<std::uint32_t> ownPositions_;
};

/// The one grouping routine: the day's rows that `keep` accepts, grouped by the integer
/// `key` gives, priced on the day, then ordered by priced cost, largest first, first-seen
/// on ties; `name` turns a key into what the caller lists.
template <class K, class Keep, class Key, class Name>
ProvenanceTabModel::Rows<K> aggregate(const ProvenanceSource& source, const DayRows& day,
                                      Keep&& keep, Key&& key, Name&& name) {
    ProvenanceTabModel::Rows<K> rows;
    std::vector<std::uint32_t> keys; // per listed row
    std::unordered_map<std::uint32_t, std::size_t> slot;
    const RequestTable& table = source.table;
    for (std::uint32_t i : day.positions()) {
        const RequestRow& row = table[i];
        const std::uint32_t label = day.labels().of(row);
        if (!keep(row, label)) continue;
        const std::uint32_t k = key(row, label);
        auto [it, inserted] = slot.try_emplace(k, rows.size());
        if (inserted) {
            rows.emplace_back(K{}, Bucket{});
            keys.push_back(k);
        }
        rows[it->second].second.add(table.record(row), day.userDay());
    }
    for (std::size_t r = 0; r < rows.size(); ++r)
        rows[r].first = name(keys[r]);
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return b.second.cost.priced < a.second.cost.priced;
    });
    return rows;
}

std::string tsText(double dayStart) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, dayStart, std::chars_format::fixed);
    std::string text(buf, ec == std::errc{} ? end : buf);
    if (text.find('.') == std::string::npos) text += ".0";
    return text;
}

} // namespace

// ProjectLabels

std::uint32_t ProjectLabels::resolve(const RequestTable& table, const RequestRow& row,
                                     const ProjectResolver& resolver) {
    std::uint32_t& label = labelOf_[row.cwd];
    if (label != unresolved) return label;
    std::string text = resolver.resolve(table.rawCwd(row), {}).canonical;
    auto [it, added] =
        byText_.try_emplace(std::move(text), static_cast<std::uint32_t>(texts_.size()));
    if (added) texts_.push_back(it->first);
    label = it->second;
    return label;
}

std::optional<std::uint32_t> ProjectLabels::find(const std::string& text) const {
    if (auto it = byText_.find(text); it != byText_.end()) return it->second;
    return std::nullopt;
}

// ProvenanceIndex

std::shared_ptr<const ProvenanceIndex>
ProvenanceIndex::build(std::shared_ptr<const RequestTable> table, const Calendar& userCalendar,
                       const ProjectResolver& resolver) {
    std::shared_ptr<ProvenanceIndex> index(new ProvenanceIndex(std::move(table), userCalendar));
    const RequestTable& rows = *index->table_;
    const std::size_t n = rows.size();
    std::vector<LocalDay> dayOfRow(n);
    DayFinder dayOf(userCalendar);
    std::size_t at = 0;
    for (const RequestRow& row : rows) {
        dayOfRow[at++] = dayOf(row.timestamp);
        index->labels_.resolve(rows, row, resolver);
    }
    // Counting sort by day keeps each day's rows in table order.
    index->days_ = dayOfRow;
    std::sort(index->days_.begin(), index->days_.end());
    index->days_.erase(std::unique(index->days_.begin(), index->days_.end()), index->days_.end());
    index->dayStarts_.assign(index->days_.size() + 1, 0);
    std::vector<std::uint32_t> slotOf(n);
    for (std::size_t i = 0; i < n; ++i) {
        auto slot = static_cast<std::uint32_t>(
            std::lower_bound(index->days_.begin(), index->days_.end(), dayOfRow[i]) -
            index->days_.begin());
        slotOf[i] = slot;
        ++index->dayStarts_[slot + 1];
    }
    for (std::size_t d = 1; d < index->dayStarts_.size(); ++d)
        index->dayStarts_[d] += index->dayStarts_[d - 1];
    index->order_.resize(n);
    std::vector<std::uint32_t> fill(index->dayStarts_.begin(), index->dayStarts_.end() - 1);
    for (std::size_t i = 0; i < n; ++i)
        index->order_[fill[slotOf[i]]++] = static_cast<std::uint32_t>(i);
    return index;
}

bool ProvenanceIndex::covers(const RequestTable& table,
                             const Calendar& userCalendar) const noexcept {
    return &table == table_.get() && userCalendar == calendar_;
}

std::span<const std::uint32_t> ProvenanceIndex::rowsOn(LocalDay day) const {
    auto it = std::lower_bound(days_.begin(), days_.end(), day);
    if (it == days_.end() || *it != day) return {};
    const auto d = static_cast<std::size_t>(it - days_.begin());
    return std::span<const std::uint32_t>(order_).subspan(dayStarts_[d],
                                                          dayStarts_[d + 1] - dayStarts_[d]);
}

// ProvenanceState

void ProvenanceState::toggleDay(LocalDay day) {
    if (!expandedDays.erase(day)) expandedDays.insert(day);
}

void ProvenanceState::toggleKey(const std::string& key) {
    if (!expandedKeys.erase(key)) expandedKeys.insert(key);
}

namespace ProvenanceTabModel {

std::vector<LocalDay> days(const Report& history, int dayLimit) {
    std::vector<LocalDay> out;
    for (auto it = history.byDay.rbegin(); it != history.byDay.rend() && std::ssize(out) < dayLimit;
         ++it)
        out.push_back(it->first);
    return out;
}

std::string projectKey(double dayStart, const std::string& project) {
    return "p|" + tsText(dayStart) + "|" + project;
}

std::string sessionKey(double dayStart, const std::string& project, const std::string& session) {
    return "s|" + tsText(dayStart) + "|" + project + "|" + session;
}

Rows<std::string> projectsFor(const ProvenanceSource& source, LocalDay day) {
    const DayRows rows(source, day);
    return aggregate<std::string>(
        source, rows, [](const RequestRow&, std::uint32_t) { return true; },
        [](const RequestRow&, std::uint32_t label) { return label; },
        [&](std::uint32_t label) { return rows.labels().text(label); });
}

Rows<std::string> sessionsFor(const ProvenanceSource& source, LocalDay day,
                              const std::string& project) {
    const DayRows rows(source, day);
    const auto wanted = rows.labels().find(project);
    if (!wanted) return {};
    return aggregate<std::string>(
        source, rows, [&](const RequestRow&, std::uint32_t label) { return label == *wanted; },
        [](const RequestRow& r, std::uint32_t) { return r.session; },
        [&](std::uint32_t session) {
            return std::string(source.table.dictionary().session(session));
        });
}

Rows<AgentIdentity> agentsFor(const ProvenanceSource& source, LocalDay day,
                              const std::string& project, const std::string& session) {
    const DayRows rows(source, day);
    const auto wantedProject = rows.labels().find(project);
    const auto wantedSession = source.table.dictionary().findSession(session);
    if (!wantedProject || !wantedSession) return {};
    return aggregate<AgentIdentity>(
        source, rows,
        [&](const RequestRow& r, std::uint32_t label) {
            return label == *wantedProject && r.session == *wantedSession;
        },
        [](const RequestRow& r, std::uint32_t) { return r.agent; },
        [&](std::uint32_t agent) { return source.table.dictionary().agent(agent); });
}

std::optional<std::string> modelsSummary(const Bucket& bucket) {
    if (bucket.modelCounts.empty()) return std::nullopt;
    std::string text;
    for (const auto& [model, count] : bucket.modelsByUse()) {
        if (!text.empty()) text += " \u00B7 ";
        text += model;
        text += " \u00D7" + std::to_string(count);
    }
    return text;
}

ProvenanceView build(const ProvenanceSource& source, const ProvenanceState& state) {
    ProvenanceView view;
    view.loading = source.loading;
    if (view.loading) return view;
    const auto listed = days(source.history, state.dayLimit);
    if (listed.empty()) view.emptyText = "No day with activity.";
    for (LocalDay day : listed) {
        const double dayStart = source.calendar.startOfDay(day);
        ProvenanceRow dayRow;
        dayRow.kind = ProvenanceRow::Kind::day;
        dayRow.label = Fmt::day(dayStart, source.userCalendar);
        if (auto it = source.history.byDay.find(day); it != source.history.byDay.end())
            dayRow.bucket = it->second;
        dayRow.open = state.expandedDays.contains(day);
        dayRow.day = day;
        view.rows.push_back(std::move(dayRow));
        if (view.rows.back().open) {
            const auto projects = projectsFor(source, day);
            if (projects.empty()) {
                ProvenanceRow none;
                none.kind = ProvenanceRow::Kind::unknown;
                none.label = "unknown";
                none.markPadding = 30;
                none.day = day;
                view.rows.push_back(std::move(none));
            }
            for (const auto& [project, projectBucket] : projects) {
                ProvenanceRow p;
                p.kind = ProvenanceRow::Kind::project;
                p.label = project;
                p.bucket = projectBucket;
                p.markPadding = 18;
                p.day = day;
                p.nodeKey = projectKey(dayStart, project);
                p.open = state.expandedKeys.contains(p.nodeKey);
                view.rows.push_back(p);
                if (!p.open) continue;
                for (const auto& [session, sessionBucket] : sessionsFor(source, day, project)) {
                    ProvenanceRow s;
                    s.kind = ProvenanceRow::Kind::session;
                    s.label = text::prefixCharacters(session, 8);
                    s.bucket = sessionBucket;
                    if (sessionBucket.lastActivity)
                        s.accessory = "last activity " + Fmt::dayTime(*sessionBucket.lastActivity,
                                                                      source.userCalendar);
                    s.markPadding = 36;
                    s.day = day;
                    s.nodeKey = sessionKey(dayStart, project, session);
                    s.open = state.expandedKeys.contains(s.nodeKey);
                    view.rows.push_back(s);
                    if (!s.open) continue;
                    for (const auto& [agent, agentBucket] :
                         agentsFor(source, day, project, session)) {
                        ProvenanceRow a;
                        a.kind = ProvenanceRow::Kind::agent;
                        a.label = agent.label();
                        a.bucket = agentBucket;
                        a.accessory = modelsSummary(agentBucket);
                        a.markPadding = 58;
                        a.mainSession = agent.kind() == AgentIdentity::Kind::main;
                        a.day = day;
                        view.rows.push_back(std::move(a));
                    }
                }
            }
        }
        view.rows.back().endsDay = true;
    }
    const auto n = static_cast<std::int64_t>(source.history.byDay.size());
    if (state.dayLimit < n) view.moreDays = "Show 14 more days (of " + std::to_string(n) + ")";
    return view;
}

} // namespace ProvenanceTabModel
} // namespace vantery::app
