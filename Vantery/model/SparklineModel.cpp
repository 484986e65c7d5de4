#include "model/SparklineModel.hpp"

#include <algorithm>
#include <cstdio>

namespace vantery::app {

namespace {

std::string hourText(int h) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", h);
    return std::string(buf) + ":00 \u2014 ";
}

} // namespace

SparklineModel buildSparkline(const std::map<int, Bucket>& byHour, double now,
                              const Calendar& calendar) {
    SparklineModel m;
    m.currentHour = calendar.hourOf(now);
    double maxCost = 0;
    for (const auto& [hour, bucket] : byHour)
        maxCost = std::max(maxCost, bucket.cost.priced);

    for (int h = 0; h < 24; ++h) {
        SparklineBar& bar = m.bars[static_cast<std::size_t>(h)];
        bar.hour = h;
        auto it = byHour.find(h);
        if (it == byHour.end() || it->second.requests == 0) {
            bar.tooltip = hourText(h) + "no requests";
            continue;
        }
        const CostEstimate& cost = it->second.cost;
        bar.fill = h == m.currentHour ? SparklineBar::Fill::current : SparklineBar::Fill::faded;
        // With nothing priced all day there is no scale: every active hour stands at the minimum.
        if (maxCost > 0)
            bar.height =
                std::max(SparklineModel::lowest, SparklineModel::tallest * cost.priced / maxCost);
        bar.tooltip = hourText(h) + cost.formatted();
    }
    return m;
}

} // namespace vantery::app
