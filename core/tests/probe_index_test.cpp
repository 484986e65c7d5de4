// The probing index under hashes that collide on purpose: every key on one chain,
// so that only the comparison of keys tells entries apart, through growth and a
// taken-back entry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vantery/base/ProbeIndex.hpp"

namespace {

struct Keys {
    std::vector<std::string> keys;
    std::uint64_t hash = 0;
    const std::string& keyAt(std::size_t p) const { return keys[p]; }
    std::uint64_t hashAt(std::size_t) const { return hash; }
};

} // namespace

TEST(ProbeIndex, CollidingKeysStayApartThroughGrowthAndDropLast) {
    for (std::uint64_t hash :
         {std::uint64_t{0}, ~std::uint64_t{0}, std::uint64_t{0x1234'5678'0000'0007}}) {
        Keys k{{}, hash};
        vantery::detail::ProbeIndex<3> index(1);
        for (int i = 0; i < 300; ++i) {
            const std::string key = "k" + std::to_string(i);
            ASSERT_EQ(index.findOrAdd(k, key, hash, k.keys.size()),
                      std::make_pair(k.keys.size(), true));
            k.keys.push_back(key);
        }
        // The newest entry taken back: found no more, and its position is free again.
        index.dropLast();
        EXPECT_FALSE(index.find(k, std::string("k299"), hash));
        EXPECT_EQ(index.size(), 299u);
        for (int i = 0; i < 299; ++i)
            EXPECT_EQ(index.findOrAdd(k, "k" + std::to_string(i), hash, 999),
                      std::make_pair(static_cast<std::size_t>(i), false));
        EXPECT_EQ(index.findOrAdd(k, std::string("k299"), hash, 299),
                  std::make_pair(std::size_t{299}, true));
    }
}
