#include "model/ProvenanceTabModel.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <unordered_map>

#include "model/Fmt.hpp"

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

/// Walks the records on one day (in the user's calendar) with their project labels.
template <class F>
void forEachOnDay(const ProvenanceSource& source, LocalDay nodeDay, LocalDay& userDay, F&& body) {
    userDay = source.userCalendar.dayOf(source.calendar.startOfDay(nodeDay));
    const ProvenanceIndex* index = source.index;
    if (index && index->covers(source.records, source.userCalendar)) {
        for (std::uint32_t i : index->recordsOn(userDay))
            body(source.records[i], index->projectOf(i));
        return;
    }
    DayFinder dayOf(source.userCalendar);
    for (const UsageRecord& r : source.records) {
        if (dayOf(r.timestamp) != userDay) continue;
        const std::string project = source.resolver.resolve(r.rawCwd, {}).canonical;
        body(r, project);
    }
}

/// The one grouping routine: records on the day that `keep` accepts, grouped by `key`,
/// priced on the day, then ordered by priced cost, largest first, first-seen on ties.
template <class K, class Keep, class Key>
ProvenanceTabModel::Rows<K> aggregate(const ProvenanceSource& source, LocalDay day, Keep&& keep,
                                      Key&& key) {
    ProvenanceTabModel::Rows<K> rows;
    std::unordered_map<K, std::size_t> slot;
    LocalDay userDay;
    forEachOnDay(source, day, userDay, [&](const UsageRecord& r, const std::string& project) {
        if (!keep(r, project)) return;
        K k = key(r, project);
        auto [it, inserted] = slot.try_emplace(k, rows.size());
        if (inserted) rows.emplace_back(std::move(k), Bucket{});
        rows[it->second].second.add(r, userDay);
    });
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

/// The first `n` characters (code points) of a UTF-8 text.
std::string firstCharacters(const std::string& text, std::size_t n) {
    std::size_t i = 0, count = 0;
    while (i < text.size() && count < n) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            ++i;
        ++count;
    }
    return text.substr(0, i);
}

} // namespace

// ProvenanceIndex

std::shared_ptr<const ProvenanceIndex>
ProvenanceIndex::build(std::shared_ptr<const std::vector<UsageRecord>> records,
                       const Calendar& userCalendar, const ProjectResolver& resolver) {
    std::shared_ptr<ProvenanceIndex> index(new ProvenanceIndex(userCalendar));
    const auto& list = *records;
    index->projectOf_.resize(list.size());
    std::vector<LocalDay> dayOfRecord(list.size());
    std::unordered_map<std::string_view, std::uint32_t> byCwd;
    std::unordered_map<std::string, std::uint32_t> byLabel;
    DayFinder dayOf(userCalendar);
    for (std::size_t i = 0; i < list.size(); ++i) {
        const UsageRecord& r = list[i];
        dayOfRecord[i] = dayOf(r.timestamp);
        auto cwd = byCwd.find(r.rawCwd);
        if (cwd == byCwd.end()) {
            std::string label = resolver.resolve(r.rawCwd, {}).canonical;
            auto [lab, added] = byLabel.try_emplace(
                std::move(label), static_cast<std::uint32_t>(index->projects_.size()));
            if (added) index->projects_.push_back(lab->first);
            cwd = byCwd.emplace(r.rawCwd, lab->second).first;
        }
        index->projectOf_[i] = cwd->second;
    }
    // Counting sort by day keeps each day's records in record order.
    index->days_ = dayOfRecord;
    std::sort(index->days_.begin(), index->days_.end());
    index->days_.erase(std::unique(index->days_.begin(), index->days_.end()), index->days_.end());
    index->dayStarts_.assign(index->days_.size() + 1, 0);
    std::vector<std::uint32_t> slotOf(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        auto slot = static_cast<std::uint32_t>(
            std::lower_bound(index->days_.begin(), index->days_.end(), dayOfRecord[i]) -
            index->days_.begin());
        slotOf[i] = slot;
        ++index->dayStarts_[slot + 1];
    }
    for (std::size_t d = 1; d < index->dayStarts_.size(); ++d)
        index->dayStarts_[d] += index->dayStarts_[d - 1];
    index->order_.resize(list.size());
    std::vector<std::uint32_t> fill(index->dayStarts_.begin(), index->dayStarts_.end() - 1);
    for (std::size_t i = 0; i < list.size(); ++i)
        index->order_[fill[slotOf[i]]++] = static_cast<std::uint32_t>(i);
    index->records_ = std::move(records);
    return index;
}

bool ProvenanceIndex::covers(std::span<const UsageRecord> records,
                             const Calendar& userCalendar) const noexcept {
    return records.data() == records_->data() && records.size() == records_->size() &&
           userCalendar == calendar_;
}

std::span<const std::uint32_t> ProvenanceIndex::recordsOn(LocalDay day) const {
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
    return aggregate<std::string>(
        source, day, [](const UsageRecord&, const std::string&) { return true; },
        [](const UsageRecord&, const std::string& project) { return project; });
}

Rows<std::string> sessionsFor(const ProvenanceSource& source, LocalDay day,
                              const std::string& project) {
    return aggregate<std::string>(
        source, day, [&](const UsageRecord&, const std::string& p) { return p == project; },
        [](const UsageRecord& r, const std::string&) { return r.sessionId; });
}

Rows<AgentIdentity> agentsFor(const ProvenanceSource& source, LocalDay day,
                              const std::string& project, const std::string& session) {
    return aggregate<AgentIdentity>(
        source, day,
        [&](const UsageRecord& r, const std::string& p) {
            return p == project && r.sessionId == session;
        },
        [](const UsageRecord& r, const std::string&) { return r.agent; });
}

std::optional<std::string> modelsSummary(const Bucket& bucket) {
    if (bucket.modelCounts.empty()) return std::nullopt;
    std::vector<std::pair<std::string, std::int64_t>> counts(bucket.modelCounts.begin(),
                                                             bucket.modelCounts.end());
    std::stable_sort(counts.begin(), counts.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    std::string text;
    for (const auto& [model, count] : counts) {
        if (!text.empty()) text += " \u00B7 ";
        text += model + " \u00D7" + std::to_string(count);
    }
    return text;
}

ProvenanceView build(const ProvenanceSource& source, const ProvenanceState& state) {
    ProvenanceView view;
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
                    s.label = firstCharacters(session, 8);
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
