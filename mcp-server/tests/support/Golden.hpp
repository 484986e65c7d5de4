#pragma once
// Golden text files: an answer is compared with the text kept under testdata/.
#include <string>

#include <gtest/gtest.h>

namespace vantery::mcp::testing {

/// Compares `actual` with the file at `goldenPath`. On a difference (or a missing
/// file) writes `actual` to `<goldenPath>.actual` and fails with a unified diff
/// from the golden to the actual text; on a match removes a stale `.actual`.
/// With VANTERY_UPDATE_GOLDEN=1 in the environment the golden is rewritten instead
/// (check the new text by hand before committing it).
::testing::AssertionResult matchesGolden(const std::string& goldenPath, const std::string& actual);

/// A unified diff (three lines of context) between two texts, line by line.
std::string unifiedDiff(const std::string& from, const std::string& to, const std::string& fromName,
                        const std::string& toName);

} // namespace vantery::mcp::testing
