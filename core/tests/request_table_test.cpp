// The unified table over blocks: rows met again in later blocks fold into their first
// meeting, and positions, iterators and walks from any position agree across the runs
// of kept and merged rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vantery/model/RequestTable.hpp"

using namespace vantery;

namespace {

RequestRow rowAt(double t, std::uint32_t output) {
    RequestRow r;
    r.timestamp = t;
    r.output = output;
    return r;
}

} // namespace

TEST(RequestTable, PositionsIteratorsAndWalksAgreeOverKeptAndMergedRuns) {
    auto d = std::make_shared<RequestDictionary>();
    // a: k0..k9; b: empty; c: k3..k6 again (larger output, earlier), then c0..c4 new;
    // d: k8 again, and a request without a key.
    std::vector<std::shared_ptr<const FileBlock>> blocks;
    FileBlock::Builder a, b, c, e;
    for (int i = 0; i < 10; ++i)
        a.add("k" + std::to_string(i), rowAt(100 + i, 10));
    for (int i = 3; i < 7; ++i)
        c.add("k" + std::to_string(i), rowAt(50 + i, 20));
    for (int i = 0; i < 5; ++i)
        c.add("c" + std::to_string(i), rowAt(200 + i, 30));
    e.add("k8", rowAt(300, 5));
    e.add("", rowAt(400, 40));
    for (auto* builder : {&a, &b, &c, &e})
        blocks.push_back(builder->finish());
    const RequestTable t(d, blocks);

    ASSERT_EQ(t.size(), 16u);
    std::vector<double> times;
    std::vector<std::uint32_t> outputs;
    for (const RequestRow& r : t) {
        times.push_back(r.timestamp);
        outputs.push_back(r.output);
    }
    EXPECT_EQ(times, (std::vector<double>{100, 101, 102, 53, 54, 55, 56, 107, 108, 109, 200, 201,
                                          202, 203, 204, 400}));
    EXPECT_EQ(outputs, (std::vector<std::uint32_t>{10, 10, 10, 20, 20, 20, 20, 10, 10, 10, 30, 30,
                                                   30, 30, 30, 40}));
    for (std::size_t i = 0; i < t.size(); ++i) {
        EXPECT_EQ(&t[i], &*t.at(i)) << i;
        std::size_t rest = 0;
        for (auto it = t.at(i); it != t.end(); ++it)
            ++rest;
        EXPECT_EQ(rest, t.size() - i) << i;
    }
    EXPECT_TRUE(t.at(t.size()) == t.end());

    const RequestTable empty(d, {blocks[1]});
    EXPECT_TRUE(empty.begin() == empty.end());
    EXPECT_TRUE(RequestTable().begin() == RequestTable().end());
}

// A request seen twice folds the same way into a record and into a row, narrow or
// wide: each count its larger, the time its earlier. The larger counts alternate
// between the sides, so a count folded the wrong way round shows.
TEST(RequestCounts, RecordsAndRowsFoldAlike) {
    const RequestCounts first{1, 11, 1, 13, 1, 15, 0};
    const RequestCounts again{20, 1, 22, 1, 24, 1, 26};
    const RequestCounts both{20, 11, 22, 13, 24, 15, 26};

    UsageRecord record;
    record.counts() = first;
    record.timestamp = 50;
    RequestDictionary dictionary;
    RequestRow row = dictionary.rowOf(record);
    ASSERT_FALSE(row.wide());

    record.fold(again, 40);
    dictionary.fold(row, again, 40);
    EXPECT_EQ(record.counts(), both);
    EXPECT_EQ(record.timestamp, 40);
    EXPECT_TRUE(row.wide()); // a web fetch does not fit a narrow row
    EXPECT_EQ(dictionary.counts(row), both);
    EXPECT_EQ(row.timestamp, 40);

    record.fold(first, 60);
    dictionary.fold(row, first, 60);
    EXPECT_EQ(record.counts(), both);
    EXPECT_EQ(record.timestamp, 40);
    EXPECT_EQ(dictionary.counts(row), both);
    EXPECT_EQ(row.timestamp, 40);
}
