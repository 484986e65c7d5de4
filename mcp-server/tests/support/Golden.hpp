#pragma once
// Whole answers compared with files kept under testdata/.
#include <string>

#include <gtest/gtest.h>

namespace vantery::mcp::testing {

/// Success when `actual` equals the golden file's text. Otherwise writes `actual`
/// to "<golden>.actual" beside it and fails with a unified diff of the two.
/// With VANTERY_UPDATE_GOLDEN=1 in the environment the golden is rewritten instead.
::testing::AssertionResult matchesGolden(const std::string& goldenPath, const std::string& actual);

/// A unified diff (one hunk, every line shown) from `before` to `after`.
std::string unifiedDiff(const std::string& before, const std::string& after,
                        const std::string& beforeName, const std::string& afterName);

} // namespace vantery::mcp::testing
