#include "model/TodayTabModel.hpp"

#include <algorithm>
#include <utility>

#include "model/FigureTexts.hpp"
#include "model/Fmt.hpp"
#include "vantery/report/Derived.hpp"

namespace vantery::app {
namespace {

std::string percent(double p) {
    return Fmt::fixed(p, 1) + "%";
}

// Largest priced cost first; a stable sort keeps the map's order among equal costs.
// Copies: a report's agents make their buckets on demand, and today's lists are short.
template <class Map> auto byCostDescending(const Map& map) {
    std::vector<std::pair<typename Map::key_type, Bucket>> entries;
    entries.reserve(map.size());
    for (const auto& [key, bucket] : map)
        entries.emplace_back(key, bucket);
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return b.second.cost.priced < a.second.cost.priced;
    });
    return entries;
}

std::vector<LegendItem> legendOf(const Bucket& b) {
    const std::int64_t total = b.totalTokens();
    auto item = [&](std::string label, Component component, std::int64_t tokens) {
        LegendItem it{std::move(label), component, Fmt::tokens(tokens), std::nullopt};
        if (total >= 1)
            it.share =
                "(" + percent(static_cast<double>(tokens) / static_cast<double>(total) * 100) + ")";
        return it;
    };
    return {item("cache read", Component::cacheRead, b.cacheRead),
            item("cache write", Component::cacheWrite, b.cacheWrite()),
            item("output", Component::output, b.output), item("input", Component::input, b.input)};
}

DominantLine dominantOf(const Bucket& b) {
    DominantLine line;
    const auto d = b.dominantComponent();
    if (!d.isKnown()) {
        line.unknownReason = d.unknownReason().text();
        return line;
    }
    line.known = true;
    line.lead = "Dominant: ";
    line.name = d.knownValue().name;
    line.rest = ", with " + percent(d.knownValue().percent) + " of the tokens.";
    if (line.name == "cache read")
        line.rest += " Cache read costs 10% of the input price \u2014 that is why the token "
                     "volume is huge while the cost stays well below its share.";
    return line;
}

} // namespace

std::string deltaNote(const PercentFigure& delta) {
    if (delta.isKnown()) return "today " + delta.text(true) + " vs the same window";
    if (delta.reason == UnknownReason::noData().text()) return "no activity at this hour yesterday";
    return "change unknown \u2014 " + delta.reason;
}

TodayTabModel buildTodayTab(const TodayTabInputs& in) {
    TodayTabModel m;
    const Bucket& total = in.today.total;

    m.headline = {"Today \u2014 " + Fmt::day(in.now, in.userCalendar),
                  "the day is still running, so these figures grow until midnight"};
    m.loading = in.loading;
    if (m.loading) return m;
    m.cost = total.cost;
    m.costCaveat = FigureTexts::caveat(total.cost);

    m.firstRow = {
        countTile("requests", total.requests),
        makeTile(
            "current rate", Derived::currentHourlyRate(in.today, in.now, in.userCalendar),
            [](const CostEstimate& c) { return c.formatted() + "/h"; },
            "the hour you are in, or a recent finished one \u2014 unknown after a few idle "
            "hours"),
        costTile("yesterday, same time", in.yesterdayAtSameTime,
                 deltaNote(in.deltaVsYesterdayAtSameTime)),
    };
    m.secondRow = {
        costTile("yesterday", Derived::yesterdayCost(in.history, in.now, in.userCalendar)),
        costTile("median, last 7 full days",
                 Derived::medianOfRecentDays(in.history, 7, in.now, in.userCalendar),
                 "days with activity, today excluded \u2014 it is the yardstick today is "
                 "measured against"),
        costTile("mean per active day", in.history.averagePerActiveDay(),
                 std::to_string(in.history.byDay.size()) + " days with activity"),
    };

    m.hasRequests = total.requests != 0;
    m.noRequests = {"No requests today", std::nullopt};
    m.noRequestsText = "No request was found in the transcripts for today. That is not the same "
                       "as \u201c$0 spent\u201d: it is the absence of data, not a measurement of "
                       "zero.";
    if (!m.hasRequests) return m;

    m.composition = {"What the cost is made of",
                     "an aggregate total would hide the very component that explains the sum"};
    m.total = total;
    m.legend = legendOf(total);
    m.dominant = dominantOf(total);
    if (total.cacheWriteAssumedRequests >= 1)
        m.assumedSplitWarning = std::to_string(total.cacheWriteAssumedRequests) +
                                " requests had no 5m/1h cache write breakdown in the transcript "
                                "\u2014 they were treated as 5m, which can understate what they "
                                "cost.";

    m.hours = {"Rate by hour", "hours with no activity are empty, not zero"};
    m.byHour = in.today.byHour;
    for (const auto& [hour, bucket] : in.today.byHour) {
        std::string label = (hour >= 0 && hour < 10 ? "0" : "") + std::to_string(hour) + ":00";
        m.hourRows.push_back({std::move(label), bucket, std::nullopt});
    }

    m.agentsCard = {"Today\u2019s agents", "who spent it, not where"};
    const auto agents = byCostDescending(in.today.byAgent);
    for (std::size_t i = 0; i < agents.size() && i < 10; ++i) {
        const auto& [agent, bucket] = agents[i];
        m.agents.push_back(
            {agent.label(), !agent.isSubagent(), std::to_string(bucket.requests), bucket.cost});
    }
    m.modelsCard = {"Today\u2019s models", std::nullopt};
    for (const auto& [model, bucket] : byCostDescending(in.today.byModel))
        m.models.push_back({model, std::to_string(bucket.requests), bucket.cost});
    return m;
}

} // namespace vantery::app
