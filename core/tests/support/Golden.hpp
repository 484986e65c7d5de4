#pragma once
// Golden files for text outputs: compare a text with a checked-in file under testdata/,
// and on a mismatch leave `<golden>.actual` beside it and show a unified diff.
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace vantery::testing {

/// Absolute path of a file under the source tree's testdata/ folder.
std::string goldenPath(std::string_view relative);

/// Success when `actual` equals the golden file byte for byte. Otherwise writes
/// `<golden>.actual` and fails with a unified diff (control characters shown as \xNN).
/// With VANTERY_UPDATE_GOLDENS=1 in the environment the golden is rewritten instead and
/// the check fails once, so that nothing is accepted unseen.
::testing::AssertionResult matchesGolden(std::string_view actual, std::string_view relative);

/// A unified diff of two texts by lines, with `context` lines around each change;
/// empty when they are equal.
std::string unifiedDiff(std::string_view expected, std::string_view actual,
                        std::string_view expectedName, std::string_view actualName,
                        int context = 3);

} // namespace vantery::testing
