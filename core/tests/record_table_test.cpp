#include <gtest/gtest.h>

#include <string>
#include <vector>

// A file reading's table is internal to the core.
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
        auto& entry = table.findOrAdd("m-" + std::to_string(i) + ":r", added);
        ASSERT_TRUE(added) << i;
        EXPECT_EQ(entry.record.input, 0);
        entry.record.input = i;
        where.push_back(&entry.record);
        // The hash is the one RequestMap gives the key.
        EXPECT_EQ(table.hashAt(table.size() - 1), reference.hash_function()(entry.key));
    }
    ASSERT_EQ(table.size(), 20'000u);
    for (int i = 0; i < 20'000; ++i) {
        bool added = true;
        auto& entry = table.findOrAdd("m-" + std::to_string(i) + ":r", added);
        EXPECT_FALSE(added) << i;
        EXPECT_EQ(&entry.record, where[static_cast<std::size_t>(i)]) << i;
        EXPECT_EQ(entry.record.input, i);
        EXPECT_EQ(entry.key, "m-" + std::to_string(i) + ":r");
    }
}

TEST(RecordTable, DropLastTakesBackOnlyTheNewestKey) {
    RecordTable table;
    bool added = false;
    table.findOrAdd("a", added).record.output = 1;
    table.findOrAdd("b", added);
    table.dropLast();
    EXPECT_EQ(table.size(), 1u);
    EXPECT_EQ(table.findOrAdd("a", added).record.output, 1);
    EXPECT_FALSE(added);
    table.findOrAdd("b", added);
    EXPECT_TRUE(added);
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(table.at(1).key, "b");
}
