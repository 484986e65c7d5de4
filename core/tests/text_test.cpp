#include <gtest/gtest.h>

#include "vantery/base/Text.hpp"

using namespace vantery::text;

TEST(Text, CountsGraphemeClusters) {
    EXPECT_EQ(characterCount(""), 0u);
    EXPECT_EQ(characterCount("abc"), 3u);
    EXPECT_EQ(characterCount("e\xCC\x81"), 1u);                        // e + combining acute
    EXPECT_EQ(characterCount("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"), 1u); // thumbs up + skin tone
    EXPECT_EQ(characterCount("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7"), 1u); // flag FR
    EXPECT_EQ(characterCount("\r\n"), 1u);
    EXPECT_EQ(characterCount("a\xFF"
                             "b"),
              3u); // a stray byte counts one
}

TEST(Text, CutsOnClusterBoundaries) {
    std::string s = "ab\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"
                    "cd";
    EXPECT_EQ(prefixCharacters(s, 3), "ab\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD");
    EXPECT_EQ(dropCharacters(s, 3), "cd");
    EXPECT_EQ(prefixCharacters(s, 100), s);
    EXPECT_EQ(prefixCharacters(s, 0), "");
    EXPECT_EQ(dropCharacters(s, 100), "");
    std::vector<std::string> parts;
    forEachCharacter("xe\xCC\x81y", [&](std::string_view c) { parts.emplace_back(c); });
    EXPECT_EQ(parts, (std::vector<std::string>{"x", "e\xCC\x81", "y"}));
}

TEST(Text, Utf8Validation) {
    EXPECT_TRUE(isValidUtf8("plain \xC3\xA9"));
    EXPECT_FALSE(isValidUtf8("\xC3"));
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80")); // a surrogate
    EXPECT_EQ(sanitizeUtf8("a\xFF"
                           "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(sanitizeUtf8("ok"), "ok");
}

TEST(Text, Lowercased) {
    EXPECT_EQ(lowercased("Claude-OPUS"), "claude-opus");
    EXPECT_EQ(lowercased("\xC3\x96L"), "\xC3\xB6l"); // Ö → ö
    EXPECT_EQ(lowercased("a\xFF"
                         "B"),
              "a\xFF"
              "b");
}
