// The golden-file helper's diff: what a failing golden test shows.
#include <gtest/gtest.h>

#include "Golden.hpp"

using vantery::testing::unifiedDiff;

TEST(GoldenDiff, EqualTextsGiveNothing) {
    EXPECT_EQ(unifiedDiff("a\nb\n", "a\nb\n", "x", "y"), "");
}

TEST(GoldenDiff, OneChangedLineWithContext) {
    std::string a = "1\n2\n3\n4\n5\n6\n7\n8\n9\n", b = "1\n2\n3\n4\nfive\n6\n7\n8\n9\n";
    EXPECT_EQ(unifiedDiff(a, b, "old", "new"), "--- old\n+++ new\n@@ -2,7 +2,7 @@\n 2\n 3\n 4\n"
                                               "-5\n+five\n 6\n 7\n 8\n");
}

TEST(GoldenDiff, SeparateHunksAndInsertions) {
    std::string a, b;
    for (int i = 1; i <= 20; ++i) {
        a += std::to_string(i) + "\n";
        b += std::to_string(i) + "\n";
        if (i == 2) b += "new\n";
    }
    b.replace(b.find("18\n"), 3, "eighteen\n");
    EXPECT_EQ(unifiedDiff(a, b, "a", "b", 1), "--- a\n+++ b\n@@ -2,2 +2,3 @@\n 2\n+new\n 3\n@@ "
                                              "-17,3 +18,3 @@\n 17\n-18\n+eighteen\n 19\n");
}

TEST(GoldenDiff, ControlCharactersAndMissingNewlineAreVisible) {
    EXPECT_EQ(unifiedDiff("a\r\n", "a\n", "x", "y", 0),
              "--- x\n+++ y\n@@ -1,1 +1,1 @@\n-a\\x0D\n+a\n");
    EXPECT_EQ(unifiedDiff("", "z", "x", "y"),
              "--- x\n+++ y\n@@ -0,0 +1,1 @@\n+z\n\\ No newline at end of file\n");
}
