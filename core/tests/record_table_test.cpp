#include <gtest/gtest.h>

#include <string>
#include <vector>

// The scan workers' table is internal to the core.
#include "ingest/RecordTable.hpp"

using vantery::RequestMap;
using vantery::UsageRecord;
using vantery::detail::RecordTable;

TEST(RecordTable, FindsEveryKeyAgainAcrossGrowthAndKeepsRecordsInPlace) {
    RecordTable table(4); // grows many times
    std::vector<UsageRecord*> where;
    const RequestMap reference;
    for (int i = 0; i < 20'000; ++i) {
        bool added = false;
        auto& node = table.findOrAdd("m-" + std::to_string(i) + ":r", added);
        ASSERT_TRUE(added) << i;
        EXPECT_EQ(node.mapped().input, 0);
        node.mapped().input = i;
        where.push_back(&node.mapped());
        // The hash is the one RequestMap gives the key.
        EXPECT_EQ(table.hashAt(table.size() - 1), reference.hash_function()(node.key()));
    }
    ASSERT_EQ(table.size(), 20'000u);
    for (int i = 0; i < 20'000; ++i) {
        bool added = true;
        auto& node = table.findOrAdd("m-" + std::to_string(i) + ":r", added);
        EXPECT_FALSE(added) << i;
        EXPECT_EQ(&node.mapped(), where[static_cast<std::size_t>(i)]) << i;
        EXPECT_EQ(node.mapped().input, i);
        EXPECT_EQ(node.key(), "m-" + std::to_string(i) + ":r");
    }
}

TEST(RecordTable, DropLastTakesBackOnlyTheNewestKey) {
    RecordTable table;
    bool added = false;
    table.findOrAdd("a", added).mapped().output = 1;
    table.findOrAdd("b", added);
    table.dropLast();
    EXPECT_EQ(table.size(), 1u);
    EXPECT_EQ(table.findOrAdd("a", added).mapped().output, 1);
    EXPECT_FALSE(added);
    table.findOrAdd("b", added);
    EXPECT_TRUE(added);
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(table.at(1).key(), "b");
}

TEST(RecordTable, NodesLinkIntoARequestMap) {
    RecordTable table;
    bool added = false;
    table.findOrAdd("x:1", added).mapped().model = "m";
    table.findOrAdd("x:2", added).mapped().model = "n";
    RequestMap map;
    for (std::size_t i = 0; i < table.size(); ++i)
        EXPECT_TRUE(map.insert(std::move(table.at(i))).inserted);
    ASSERT_EQ(map.size(), 2u);
    EXPECT_EQ(map.at("x:1").model, "m");
    EXPECT_EQ(map.at("x:2").model, "n");
}
