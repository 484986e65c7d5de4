// The Provenance tab's rows: paging, open nodes, grouping across midnight and projects,
// and the same figures whether or not the day index is in place.
#include <gtest/gtest.h>

#include <memory>

#include "model/ProvenanceTabModel.hpp"
#include "vantery/report/Aggregator.hpp"

namespace vantery::app {
namespace {

using Kind = ProvenanceRow::Kind;
namespace M = ProvenanceTabModel;

Calendar berlin() {
    return *Calendar::named("Europe/Berlin");
}

/// A request of `dollars` million haiku input tokens ($1 per million).
UsageRecord request(double at, const std::string& session, const std::string& cwd,
                    double dollars = 1, AgentIdentity agent = {},
                    const std::string& model = "claude-haiku-4-5") {
    UsageRecord r;
    r.timestamp = at;
    r.sessionId = session;
    r.rawCwd = cwd;
    r.agent = std::move(agent);
    r.model = model;
    r.sourceHome = ".claude";
    r.input = static_cast<std::int64_t>(dollars * 1'000'000);
    return r;
}

/// The store's published values over a table of records, in one fixture.
struct Published {
    Calendar calendar = berlin();
    ProjectResolver resolver{"/home/u", false};
    std::shared_ptr<const RequestTable> table;
    Report history;
    std::shared_ptr<const ProvenanceIndex> index;

    explicit Published(const std::vector<UsageRecord>& list, bool indexed = true)
        : Published(std::make_shared<const RequestTable>(RequestTable::fromRecords(list)),
                    indexed) {}
    Published(std::shared_ptr<const RequestTable> rows, bool indexed) : table(std::move(rows)) {
        history =
            Aggregator(calendar, resolver).aggregate(*table, std::nullopt, std::nullopt, {}, false);
        if (indexed) index = ProvenanceIndex::build(table, calendar, resolver);
    }
    ProvenanceSource source() const {
        return {history, *table, resolver, calendar, calendar, index.get()};
    }
    double at(int d, int h, int mi = 0) const {
        return calendar.instantOf(LocalDay::fromYMD(2025, 3, d), h, mi, 0);
    }
    LocalDay day(int d) const { return LocalDay::fromYMD(2025, 3, d); }
    double dayStart(int d) const { return calendar.startOfDay(day(d)); }
};

std::vector<UsageRecord> oneRequestPerDay(int days) {
    std::vector<UsageRecord> list;
    const Calendar c = berlin();
    for (int i = 0; i < days; ++i)
        list.push_back(request(c.instantOf(LocalDay::fromYMD(2025, 1, 1).addingDays(i), 12, 0, 0),
                               "s", "/w/a"));
    return list;
}

std::vector<Kind> kinds(const ProvenanceView& v) {
    std::vector<Kind> out;
    for (const auto& r : v.rows)
        out.push_back(r.kind);
    return out;
}

TEST(ProvenanceTabModel, PagesFourteenDaysAtATimeNewestFirst) {
    {
        Published p(oneRequestPerDay(14));
        auto v = M::build(p.source(), {});
        EXPECT_EQ(v.rows.size(), 14u);
        EXPECT_FALSE(v.moreDays);
        EXPECT_EQ(v.rows.front().label, "2025-01-14");
        EXPECT_TRUE(v.rows.back().endsDay);
    }
    {
        Published p(oneRequestPerDay(15));
        ProvenanceState state;
        auto v = M::build(p.source(), state);
        EXPECT_EQ(v.rows.size(), 14u);
        EXPECT_EQ(v.moreDays, "Show 14 more days (of 15)");
        state.showMoreDays();
        v = M::build(p.source(), state);
        EXPECT_EQ(v.rows.size(), 15u);
        EXPECT_FALSE(v.moreDays);
    }
    {
        Published p(oneRequestPerDay(40));
        ProvenanceState state;
        for (std::size_t shown : {14u, 28u}) {
            auto v = M::build(p.source(), state);
            EXPECT_EQ(v.rows.size(), shown);
            EXPECT_EQ(v.moreDays, "Show 14 more days (of 40)");
            state.showMoreDays();
        }
        auto v = M::build(p.source(), state);
        EXPECT_EQ(v.rows.size(), 40u);
        EXPECT_EQ(v.rows.back().label, "2025-01-01");
        EXPECT_FALSE(v.moreDays);
    }
    {
        Published p({});
        auto v = M::build(p.source(), {});
        EXPECT_EQ(v.emptyText, "No day with activity.");
        EXPECT_TRUE(v.rows.empty());
        EXPECT_FALSE(v.moreDays);
    }
}

TEST(ProvenanceTabModel, OpenNodesKeepTheirStateWhileTheirParentIsClosed) {
    Published p({});
    std::vector<UsageRecord> list = {
        request(p.at(3, 10), "session-aaaaaaaa", "/w/big", 5, {}, "claude-haiku-4-5"),
        request(p.at(3, 11), "session-aaaaaaaa", "/w/big", 1, AgentIdentity::anonymous("a1"),
                "claude-haiku-4-5"),
        request(p.at(3, 11, 30), "session-aaaaaaaa", "/w/big", 1, AgentIdentity::anonymous("a1"),
                "claude-sonnet-4-5"),
        request(p.at(3, 12), "short", "/w/small", 2),
        request(p.at(4, 9), "session-aaaaaaaa", "/w/big", 3),
    };
    Published pub(list);
    ProvenanceState state;
    state.toggleDay(pub.day(3));
    const std::string big = M::projectKey(pub.dayStart(3), "/w/big");
    const std::string session = M::sessionKey(pub.dayStart(3), "/w/big", "session-aaaaaaaa");
    state.toggleKey(big);
    state.toggleKey(session);
    auto v = M::build(pub.source(), state);
    ASSERT_EQ(kinds(v), (std::vector{Kind::day, Kind::day, Kind::project, Kind::session,
                                     Kind::agent, Kind::agent, Kind::project}));
    // Newest day first; projects and agents by priced cost, largest first.
    EXPECT_EQ(v.rows[1].label, "2025-03-03");
    EXPECT_EQ(v.rows[2].label, "/w/big");
    EXPECT_EQ(v.rows[2].markPadding, 18);
    EXPECT_EQ(v.rows[3].label, "session-");
    EXPECT_EQ(v.rows[3].accessory, "last activity 03.03 11:30");
    EXPECT_EQ(v.rows[4].label, AgentIdentity::mainSession().label());
    EXPECT_EQ(v.rows[5].accessory, "claude-haiku-4-5 \u00D71 \u00B7 claude-sonnet-4-5 \u00D71");
    EXPECT_TRUE(v.rows[4].mainSession);
    EXPECT_FALSE(v.rows[5].mainSession);
    EXPECT_EQ(v.rows[5].markPadding, 58);
    EXPECT_EQ(v.rows[5].bucket.requests, 2);
    EXPECT_EQ(v.rows[6].label, "/w/small");
    EXPECT_TRUE(v.rows[6].endsDay);
    EXPECT_FALSE(v.rows[5].endsDay);

    // Closing the day hides its subtree; reopening shows the project and session open again.
    state.toggleDay(pub.day(3));
    EXPECT_EQ(kinds(M::build(pub.source(), state)), (std::vector{Kind::day, Kind::day}));
    state.toggleDay(pub.day(3));
    EXPECT_EQ(M::build(pub.source(), state).rows.size(), v.rows.size());

    // The same project opens separately on another day.
    state.toggleDay(pub.day(4));
    v = M::build(pub.source(), state);
    EXPECT_EQ(v.rows[1].kind, Kind::project);
    EXPECT_FALSE(v.rows[1].open);
    EXPECT_EQ(v.rows[1].bucket.requests, 1);
}

TEST(ProvenanceTabModel, SessionsSplitAtMidnightAndAcrossProjects) {
    Published pub0({});
    std::vector<UsageRecord> list = {
        request(pub0.at(5, 23, 30), "night", "/w/a", 1),
        request(pub0.at(6, 0, 30), "night", "/w/a", 2),
        request(pub0.at(6, 1, 0), "night", "/w/b", 4),
    };
    for (bool indexed : {true, false}) {
        Published pub(list, indexed);
        const auto s5 = M::sessionsFor(pub.source(), pub.day(5), "/w/a");
        ASSERT_EQ(s5.size(), 1u);
        EXPECT_EQ(s5[0].second.requests, 1);
        EXPECT_DOUBLE_EQ(s5[0].second.cost.priced, 1);
        const auto projects6 = M::projectsFor(pub.source(), pub.day(6));
        ASSERT_EQ(projects6.size(), 2u);
        EXPECT_EQ(projects6[0].first, "/w/b");
        for (const auto& [project, dollars] : {std::pair{"/w/a", 2.0}, {"/w/b", 4.0}}) {
            const auto s = M::sessionsFor(pub.source(), pub.day(6), project);
            ASSERT_EQ(s.size(), 1u) << project;
            EXPECT_EQ(s[0].first, "night");
            EXPECT_DOUBLE_EQ(s[0].second.cost.priced, dollars);
            EXPECT_EQ(
                M::agentsFor(pub.source(), pub.day(6), project, "night").at(0).second.requests, 1);
        }
        EXPECT_TRUE(M::projectsFor(pub.source(), pub.day(7)).empty());
    }
}

TEST(ProvenanceTabModel, EqualCostsKeepTableOrderWhicheverOrderTheDictionaryMetTheTexts) {
    // Another file interned these texts first, in the opposite order.
    auto dictionary = std::make_shared<RequestDictionary>();
    dictionary->internSession("s-late");
    dictionary->internCwd("/w/late");
    FileBlock::Builder block;
    const double at = Published({}).at(3, 9);
    int key = 0;
    for (const auto& [session, cwd] : {std::pair{"s-early", "/w/early"},
                                       {"s-late", "/w/late"},
                                       {"s-late", "/w/early"},
                                       {"s-early", "/w/late"}})
        block.add(std::to_string(key++), dictionary->rowOf(request(at, session, cwd)));
    const auto table = std::make_shared<const RequestTable>(
        dictionary, std::vector<std::shared_ptr<const FileBlock>>{block.finish()});
    for (bool indexed : {true, false}) {
        Published pub(table, indexed);
        const auto projects = M::projectsFor(pub.source(), pub.day(3));
        ASSERT_EQ(projects.size(), 2u);
        EXPECT_EQ(projects[0].first, "/w/early");
        EXPECT_EQ(projects[1].first, "/w/late");
        const auto sessions = M::sessionsFor(pub.source(), pub.day(3), "/w/early");
        ASSERT_EQ(sessions.size(), 2u);
        EXPECT_EQ(sessions[0].first, "s-early");
        EXPECT_EQ(sessions[1].first, "s-late");
        EXPECT_TRUE(M::sessionsFor(pub.source(), pub.day(3), "/w/none").empty());
    }
}

TEST(ProvenanceTabModel, UnpricedProjectsComeLastAndAnEmptyDayShowsUnknown) {
    Published pub0({});
    Published pub({
        request(pub0.at(8, 10), "s1", "/w/unpriced", 50, {}, "some-model-without-price"),
        request(pub0.at(8, 11), "s2", "/w/cheap", 0.5),
        request(pub0.at(8, 12), "s3", "", 1),
    });
    const auto rows = M::projectsFor(pub.source(), pub.day(8));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].first, "(unknown cwd)");
    EXPECT_EQ(rows[1].first, "/w/cheap");
    EXPECT_EQ(rows[2].first, "/w/unpriced");
    EXPECT_EQ(rows[2].second.cost.unpricedRequests, 1);

    // A day the user's calendar no longer places any record on (the zone changed).
    const Calendar tokyo = *Calendar::named("Asia/Tokyo");
    Published late({request(pub0.at(8, 23, 30), "s", "/w/a")});
    ProvenanceSource moved{late.history,  *late.table, late.resolver,
                           late.calendar, tokyo,       late.index.get()};
    ProvenanceState state;
    state.toggleDay(late.day(8));
    const auto v = M::build(moved, state);
    ASSERT_EQ(kinds(v), (std::vector{Kind::day, Kind::unknown}));
    EXPECT_EQ(v.rows[1].markPadding, 30);
    EXPECT_TRUE(v.rows[1].endsDay);
}

TEST(ProvenanceTabModel, SessionLabelCutsWholeCharacters) {
    Published p({});
    Published pub({request(p.at(3, 10), "abcdefge\u0301-rest", "/w/a")});
    ProvenanceState state;
    state.toggleDay(pub.day(3));
    state.toggleKey(M::projectKey(pub.dayStart(3), "/w/a"));
    const auto v = M::build(pub.source(), state);
    ASSERT_EQ(kinds(v), (std::vector{Kind::day, Kind::project, Kind::session}));
    // The combining accent belongs to the eighth character, so it stays with it.
    EXPECT_EQ(v.rows[2].label, "abcdefge\u0301");
}

TEST(ProvenanceTabModel, ModelsSummaryListsTheMostUsedFirst) {
    Bucket b;
    EXPECT_FALSE(M::modelsSummary(b));
    b.modelCounts = {{"a-model", 1}, {"b-model", 2}};
    EXPECT_EQ(M::modelsSummary(b), "b-model \u00D72 \u00B7 a-model \u00D71");
}

TEST(ProvenanceTabModel, NodeKeysWriteTheDayStartAsShortestDecimal) {
    EXPECT_EQ(M::projectKey(1740956400, "p"), "p|1740956400.0|p");
    EXPECT_EQ(M::sessionKey(1.5, "p", "s"), "s|1.5|p|s");
}

} // namespace
} // namespace vantery::app
