#pragma once
// Reports compared as their readers see them, every figure with ==: cost sums are
// compared bit for bit.
#include <gtest/gtest.h>

#include <tuple>

#include "vantery/report/Report.hpp"

namespace vantery::fixtures {

/// The seven counts of a record, a row or a bucket side by side, so that a failure
/// prints each of them.
inline auto countsOf(const RequestCounts& c) {
    return std::make_tuple(c.input, c.output, c.cacheWrite5m, c.cacheWrite1h, c.cacheRead,
                           c.webSearch, c.webFetch);
}

inline auto figures(const Bucket& b) {
    return std::tuple_cat(std::make_tuple(b.requests), countsOf(b),
                          std::make_tuple(b.cost, b.modelCounts, b.firstActivity, b.lastActivity,
                                          b.cacheWriteAssumedRequests));
}

/// The same keys in the same order, each with the same figures.
template <class MapA, class MapB> void expectSameBuckets(const MapA& a, const MapB& b) {
    ASSERT_EQ(a.size(), b.size());
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
        EXPECT_TRUE(i->first == j->first);
        EXPECT_EQ(figures(i->second), figures(j->second));
    }
}

/// The same keys in the same order, each with the same text.
template <class MapA, class MapB> void expectSameTexts(const MapA& a, const MapB& b) {
    ASSERT_EQ(a.size(), b.size());
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
        EXPECT_TRUE(i->first == j->first);
        EXPECT_EQ(i->second, j->second);
    }
}

/// Calls f(a's breakdown, b's breakdown, its name) for each of the eight breakdowns.
template <class F> void forEachBreakdown(const Report& a, const Report& b, F&& f) {
    f(a.byDay, b.byDay, "day");
    f(a.byHour, b.byHour, "hour");
    f(a.byModel, b.byModel, "model");
    f(a.byProject, b.byProject, "project");
    f(a.byRawCwd, b.byRawCwd, "raw cwd");
    f(a.bySession, b.bySession, "session");
    f(a.byAgent, b.byAgent, "agent");
    f(a.bySource, b.bySource, "home");
}

/// Every breakdown and link of two reports.
inline void expectSameReports(const Report& a, const Report& b) {
    EXPECT_EQ(figures(a.total), figures(b.total));
    forEachBreakdown(a, b, [](const auto& x, const auto& y, const char* axis) {
        SCOPED_TRACE(axis);
        expectSameBuckets(x, y);
    });
    EXPECT_EQ(a.sessionProject, b.sessionProject);
    expectSameTexts(a.agentSession, b.agentSession);
    expectSameTexts(a.agentProject, b.agentProject);
    EXPECT_EQ(a.projectProvenance, b.projectProvenance);
}

} // namespace vantery::fixtures
