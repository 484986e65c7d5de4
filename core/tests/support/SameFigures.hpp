#pragma once
// Reports compared as their readers see them, every figure with ==: cost sums are
// compared bit for bit.
#include <gtest/gtest.h>

#include <tuple>

#include "vantery/report/Report.hpp"

namespace vantery::fixtures {

inline auto figures(const Bucket& b) {
    return std::make_tuple(b.requests, b.input, b.output, b.cacheWrite5m, b.cacheWrite1h,
                           b.cacheRead, b.webSearch, b.webFetch, b.cost, b.modelCounts,
                           b.firstActivity, b.lastActivity, b.cacheWriteAssumedRequests);
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

/// Every breakdown and link of two reports.
inline void expectSameReports(const Report& a, const Report& b) {
    EXPECT_EQ(figures(a.total), figures(b.total));
    expectSameBuckets(a.byDay, b.byDay);
    expectSameBuckets(a.byHour, b.byHour);
    expectSameBuckets(a.byModel, b.byModel);
    expectSameBuckets(a.byProject, b.byProject);
    expectSameBuckets(a.byRawCwd, b.byRawCwd);
    expectSameBuckets(a.bySession, b.bySession);
    expectSameBuckets(a.byAgent, b.byAgent);
    expectSameBuckets(a.bySource, b.bySource);
    EXPECT_EQ(a.sessionProject, b.sessionProject);
    expectSameTexts(a.agentSession, b.agentSession);
    expectSameTexts(a.agentProject, b.agentProject);
    EXPECT_EQ(a.projectProvenance, b.projectProvenance);
}

} // namespace vantery::fixtures
