#pragma once
// Records and reports for view-model tests, in a pinned zone.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "RecordBuilder.hpp"
#include "vantery/base/Calendar.hpp"
#include "vantery/model/UsageRecord.hpp"
#include "vantery/report/Aggregator.hpp"
#include "vantery/report/Bucket.hpp"
#include "vantery/report/ProjectResolver.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::app::fixtures {

inline Calendar berlin() {
    return *Calendar::named("Europe/Berlin");
}

using vantery::fixtures::at;

/// A request of claude-haiku-4-5 ($1 per million input, $5 per million output).
inline UsageRecord request(double timestamp, std::int64_t input, std::int64_t output = 0,
                           AgentIdentity agent = {}, std::string cwd = "/work/a",
                           std::string model = "claude-haiku-4-5") {
    return vantery::fixtures::makeRecord(timestamp, std::move(model), input, output,
                                         std::move(agent), std::move(cwd));
}

/// The moment the tab-model tests stand in: 2026-12-07 at 14:30 in Berlin.
struct BerlinAfternoon {
    Calendar cal = berlin();
    double now = at(cal, 2026, 12, 7, 14, 30);
};

/// A bucket of 1 + `unpriced` requests costing `priced` dollars; the unpriced ones are of
/// "mystery-1", which has no price.
inline Bucket costing(double priced, std::int64_t unpriced = 0) {
    Bucket b;
    b.requests = 1 + unpriced;
    b.cost.priced = priced;
    b.cost.unpricedRequests = unpriced;
    if (unpriced > 0) b.cost.unpricedModels = {"mystery-1"};
    return b;
}

inline Aggregator aggregator(const Calendar& cal) {
    return Aggregator(cal, ProjectResolver("/home/u", false));
}

} // namespace vantery::app::fixtures
