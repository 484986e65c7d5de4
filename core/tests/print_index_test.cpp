// The index of first meetings: a print met again answers its first position, however
// far the index had to grow from a small estimate, and whatever block it was first in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/PrintIndex.hpp"

using namespace vantery;

TEST(PrintIndex, FirstMeetingsSurviveGrowthAcrossBlocks) {
    std::vector<std::shared_ptr<const FileBlock>> held;
    std::vector<const FileBlock*> blocks;
    for (int b = 0; b < 3; ++b) {
        FileBlock::Builder builder;
        for (int i = 0; i < 400; ++i)
            builder.add("key-" + std::to_string(b * 400 + i), RequestRow{});
        held.push_back(builder.finish());
        blocks.push_back(held.back().get());
    }
    detail::PrintIndex index(blocks, 1); // grows several times
    for (std::size_t p = 0; p < 1200; ++p) {
        const auto [b, row] = index.blockRow(p);
        ASSERT_EQ(index.firstOf(blocks[b]->keyPrint(row), p), p);
    }
    // Met again at later positions: the first ones answer.
    for (std::size_t p : {0u, 399u, 400u, 1199u}) {
        const auto [b, row] = index.blockRow(p);
        EXPECT_EQ(index.firstOf(blocks[b]->keyPrint(row), 5000 + p), p);
    }
    EXPECT_EQ(index.firstOf(KeyPrint::of("never met"), 7000), 7000u);
}
