#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <vector>

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
    EXPECT_EQ(lowercased("\u0130X"), "i\u0307x");    // the full mapping keeps the dot
    EXPECT_EQ(lowercased("a\xFF"
                         "B"),
              "a\xFF"
              "b");
}

TEST(Text, NumbersAndWords) {
    EXPECT_EQ(groupedDigits(0), "0");
    EXPECT_EQ(groupedDigits(999), "999");
    EXPECT_EQ(groupedDigits(1000), "1,000");
    EXPECT_EQ(groupedDigits(-1234567), "-1,234,567");
    EXPECT_EQ(groupedDigits(std::numeric_limits<std::int64_t>::min()),
              "-9,223,372,036,854,775,808");
    EXPECT_EQ(counted(1, "request", "requests"), "1 request");
    EXPECT_EQ(counted(-1, "request", "requests"), "-1 request");
    EXPECT_EQ(counted(1000, "request", "requests"), "1,000 requests");
    EXPECT_EQ(counted(0, "request", "requests"), "0 requests");

    EXPECT_EQ(compactCount(999), "999");
    EXPECT_EQ(compactCount(-5000), "-5000");
    EXPECT_EQ(compactCount(1000), "1.0k");
    EXPECT_EQ(compactCount(1250), "1.2k"); // 1.25 is held as 1.25 exactly: ties to even
    EXPECT_EQ(compactCount(1'234'567), "1.23M");
    EXPECT_EQ(compactCount(1'230'000'000), "1.23G");

    const std::set<std::string> names = {"b", "a"};
    EXPECT_EQ(joined(names, ", "), "a, b");
    EXPECT_EQ(joined(std::vector<std::string>{}, ", "), "");
    EXPECT_EQ(joined(std::vector<std::string>{"", "x"}, "; "), "; x");
    EXPECT_EQ(trimmed(" \t a b \r\n"), "a b");
    EXPECT_EQ(trimmed(" \n "), "");
    EXPECT_EQ(trimmed("\u00a0\u3000a\u2028\u0085\v"), "a");
    // Lone continuation bytes are no blanks.
    EXPECT_EQ(trimmed("\xa0"
                      "a\x85"),
              "\xa0"
              "a\x85");
}

TEST(Text, JsonNumbers) {
    for (const char* t : {"0", "-0", "12", "-0.5e+3", "1E9", "123456789012345678901234567890"})
        EXPECT_TRUE(isJsonNumber(t)) << t;
    for (const char* t : {"", "-", "01", "1.", ".5", "+1", "1e", "1e+", "0x1", "1 ", "NaN"})
        EXPECT_FALSE(isJsonNumber(t)) << t;
}

TEST(Text, IsolatedNameCannotReorderOrBreakTheSentence) {
    const std::string fsi = "\u2068", pdi = "\u2069";
    // A name that cannot turn the sentence's direction stays as it is.
    EXPECT_EQ(isolatedName("claude-x"), "claude-x");
    // A right-to-left override inside the name is dropped.
    EXPECT_EQ(isolatedName("evil\u202Eledom"), "evilledom");
    EXPECT_EQ(isolatedName(std::string("a\0b\n\x1B[2J\u0085c\u2067\u200Fd", 18)), "ab[2Jcd");
    // Right-to-left letters stay, isolated so that the isolate closes before the words
    // that follow; a stray byte becomes U+FFFD.
    EXPECT_EQ(isolatedName("\u05E9\u05DC\xFF"), fsi + "\u05E9\u05DC\uFFFD" + pdi);
    EXPECT_EQ(cleanedName("\u05E9\u202E\u05DC"), "\u05E9\u05DC");
    EXPECT_EQ(isolatedName(""), "");
}

TEST(Text, CleanedNameDropsWhatDrawsNothingButKeepsEmojiWhole) {
    // Tag characters (assigned or not), zero-width space, byte order mark, soft hyphen,
    // variation selectors and the line and paragraph separators all go.
    EXPECT_EQ(cleanedName("a\U000E0000\U000E0041\U000E007Fb\u200Bc\uFEFFd\u00ADe\U000E0100f"
                          "\u2028g\u2029h\uFE0Fi\u2065j"),
              "abcdefghij");
    // Every other format character goes too.
    EXPECT_EQ(cleanedName("a\uFFF9b\uFFFAc\uFFFBd\u0600e\U000110BDf"), "abcdef");
    // A joiner between two emoji that are its neighbours keeps the family, the rainbow
    // flag and the heart on fire one character, with U+FE0F asking for the emoji look
    // (and keeping it on a lone heart, a white flag and a keycap); elsewhere both go.
    for (const std::string emoji :
         {"\U0001F468\u200D\U0001F469\u200D\U0001F467", "\U0001F3F3\uFE0F\u200D\U0001F308",
          "\u2764\uFE0F\u200D\U0001F525", "\U0001F469\U0001F3FD\u200D\U0001F4BB",
          "\U0001F3F3\uFE0F\u200D\u26A7\uFE0F", "\u2764\uFE0F", "\U0001F3F3\uFE0F",
          "1\uFE0F\u20E3"})
        EXPECT_EQ(cleanedName("x" + emoji + "y"), "x" + emoji + "y") << emoji;
    EXPECT_EQ(cleanedName("a\u200Db\U0001F468\u200D"), "ab\U0001F468");
    EXPECT_EQ(cleanedName("\u200D\U0001F468"), "\U0001F468");
    EXPECT_EQ(cleanedName("a\uFE0Fb1\uFE0F"), "ab1");
    // © and ® are drawn as text: no sequence for a joiner to hold, unless asked.
    EXPECT_EQ(cleanedName("x\u00A9\u200D\u00AEy"), "x\u00A9\u00AEy");
    EXPECT_EQ(cleanedName("x\u00A9\uFE0F\u200D\u00AE\uFE0Fy"), "x\u00A9\uFE0F\u200D\u00AE\uFE0Fy");
    // What stood between two emoji in the input keeps them apart once dropped.
    EXPECT_EQ(cleanedName("\U0001F468\u200B\u200D\U0001F469"), "\U0001F468\U0001F469");
    EXPECT_EQ(cleanedName("\U0001F468\u200D\u200B\U0001F469"), "\U0001F468\U0001F469");
    EXPECT_EQ(cleanedName("\u2764\u200B\uFE0F"), "\u2764");
}
