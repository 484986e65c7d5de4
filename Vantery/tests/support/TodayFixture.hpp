#pragma once
// Records and reports for the menu-bar tests, built with the core's aggregator in a
// pinned zone: claude-haiku-4-5 costs $1 per million input tokens, "mystery-model"
// has no known price.
#include <string>
#include <vector>

#include "RecordBuilder.hpp"
#include "vantery/report/Aggregator.hpp"
#include "vantery/report/Derived.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::app {

struct TodayFixture {
    Calendar cal = fixtures::zone("Europe/Paris");
    Aggregator aggregator{cal, ProjectResolver("/h", false)};
    LocalDay todayDay = LocalDay::fromYMD(2026, 6, 15);
    double now = fixtures::at(cal, 2026, 6, 15, 14, 30);
    std::vector<UsageRecord> records;

    /// Adds a request of `dollars` (0 with an unpriced model) at a local time on a day
    /// relative to today.
    UsageRecord& add(int dayOffset, int hour, int minute, double dollars, AgentIdentity agent = {},
                     std::string cwd = "/h/code/app") {
        const LocalDay d = todayDay.addingDays(dayOffset);
        const double t = fixtures::at(cal, d.year(), d.month(), d.day(), hour, minute);
        UsageRecord r = dollars > 0 ? fixtures::makeRecord(t, "claude-haiku-4-5",
                                                           std::int64_t(dollars * 1e6), 0)
                                    : fixtures::makeRecord(t, "mystery-model", 500, 0);
        r.agent = std::move(agent);
        r.rawCwd = std::move(cwd);
        records.push_back(std::move(r));
        return records.back();
    }

    Report today() const { return aggregator.aggregate(records, todayDay, todayDay, {}, true); }
    Report history() const {
        return aggregator.aggregate(records, std::nullopt, std::nullopt, {}, false);
    }
    Estimate<CostEstimate> yesterdayAtSameTime() const {
        return Derived::yesterdayAtSameTime(records, now, cal);
    }
};

} // namespace vantery::app
