// The byte search each transcript line goes through before it is parsed.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

#include "base/ByteSearch.hpp"
#include "vantery/ingest/Scanner.hpp"

using namespace vantery;

TEST(Contains, PlainByteSearch) {
    EXPECT_TRUE(containsBytes(R"(x"usage")", Scanner::usageNeedle));
    EXPECT_FALSE(containsBytes(R"("usag")", Scanner::usageNeedle));
    EXPECT_FALSE(containsBytes("", Scanner::usageNeedle));
    EXPECT_FALSE(containsBytes("abc", ""));
    EXPECT_TRUE(containsBytes(std::string_view("a\0b", 3), std::string_view("\0b", 2)));
}

TEST(Contains, AgreesWithAPlainSearchOnLongLinesAtEveryPosition) {
    // Lines long enough for the block-wise filters, over an alphabet that makes the
    // filter's two bytes match often, with the needle or a near miss at each position.
    const std::string needle(Scanner::usageNeedle);
    std::mt19937 rng(7);
    for (std::size_t len : {7u, 8u, 63u, 64u, 69u, 70u, 71u, 128u, 133u, 200u, 1000u}) {
        for (std::size_t at = 0; at + needle.size() <= len; ++at) {
            std::string line(len, ' ');
            for (char& c : line)
                c = "\"usagex"[rng() % 7];
            line.replace(at, needle.size(), needle);
            EXPECT_TRUE(containsBytes(line, needle)) << len << " " << at;
            for (std::size_t k = 1; k + 1 < needle.size(); ++k) {
                std::string miss = line;
                miss[at + k] = 'X';
                EXPECT_EQ(containsBytes(miss, needle), miss.find(needle) != std::string::npos)
                    << len << " " << at << " " << k << " " << miss;
            }
            // The needle cut off by the end of the view.
            std::string_view cut(line.data(), at + needle.size() - 1);
            EXPECT_EQ(containsBytes(cut, needle), cut.find(needle) != std::string::npos);
        }
    }
}
