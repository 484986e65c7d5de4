// The index of first meetings: a print met again answers its first position, however
// far the index had to grow from a small estimate, and whatever block it was first in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Hash128.hpp"
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

namespace {
// The two request keys computed to collide on 96 bits of the public hash.
constexpr std::string_view craftedA = "msg_01AAAAAAAAAABBBBBBBBBBBBBBBB:req_011CQ";
constexpr std::string_view craftedB = "msg_01b9UpimQE9Q4<Fu! eh-RwaA{j7:req_011CQ";
} // namespace

// Prints are keyed with a secret of the process: keys crafted against the public hash
// get two prints. The keyed hash is SipHash-2-4-128, checked on the reference vectors.
TEST(KeyPrints, KeysCraftedAgainstThePublicHashStayApart) {
    const hash128::Value a = hash128::of(craftedA), b = hash128::of(craftedB);
    ASSERT_EQ(a.lo, b.lo) << "the crafted keys no longer collide: the test proves nothing";
    ASSERT_EQ(static_cast<std::uint32_t>(a.hi), static_cast<std::uint32_t>(b.hi));
    EXPECT_FALSE(KeyPrint::of(craftedA) == KeyPrint::of(craftedB));
    EXPECT_TRUE(KeyPrint::of(craftedA) == KeyPrint::of(std::string(craftedA)));

    const hash128::Key key{0x0706050403020100ULL, 0x0f0e0d0c0b0a0908ULL};
    auto bytes = [](const hash128::Value& v) {
        std::string out;
        for (std::uint64_t half : {v.lo, v.hi})
            for (int i = 0; i < 8; ++i) {
                char h[3];
                std::snprintf(h, sizeof h, "%02x", static_cast<unsigned>((half >> (8 * i)) & 0xFF));
                out += h;
            }
        return out;
    };
    EXPECT_EQ(bytes(hash128::keyed("", key)), "a3817f04ba25a8e66df67214c7550293");
    std::string fifteen;
    for (char c = 0; c < 15; ++c)
        fifteen.push_back(c);
    EXPECT_EQ(bytes(hash128::keyed(fifteen, key)), "5493e99933b0a8117e08ec0f97cfc3d9");
}
