#pragma once
// Records and reports for view-model tests, in a pinned zone.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vantery/base/Calendar.hpp"
#include "vantery/report/ProjectResolver.hpp"
#include "vantery/report/Aggregator.hpp"
#include "vantery/report/Report.hpp"
#include "vantery/model/UsageRecord.hpp"

namespace vantery::app::fixtures {

inline Calendar berlin() {
    return *Calendar::named("Europe/Berlin");
}

inline double at(const Calendar& cal, int y, int mo, int d, int h = 0, int mi = 0) {
    return cal.instantOf(LocalDay::fromYMD(y, mo, d), h, mi, 0);
}

/// A request of claude-haiku-4-5 ($1 per million input, $5 per million output).
inline UsageRecord request(double timestamp, std::int64_t input, std::int64_t output = 0,
                           AgentIdentity agent = {}, std::string cwd = "/work/a",
                           std::string model = "claude-haiku-4-5") {
    UsageRecord r;
    r.timestamp = timestamp;
    r.model = std::move(model);
    r.sessionId = "s1";
    r.rawCwd = std::move(cwd);
    r.agent = std::move(agent);
    r.sourceHome = ".claude";
    r.input = input;
    r.output = output;
    return r;
}

inline Aggregator aggregator(const Calendar& cal) {
    return Aggregator(cal, ProjectResolver("/home/u", false));
}

} // namespace vantery::app::fixtures
