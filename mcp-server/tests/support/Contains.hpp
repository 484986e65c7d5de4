#pragma once
// Whether an answer holds a piece of text, showing the whole answer when it does not.
#include <string_view>

#include <gtest/gtest.h>

namespace vantery::mcp::testing {

/// Success when `text` holds `part`; otherwise a failure that shows both.
inline ::testing::AssertionResult contains(std::string_view text, std::string_view part) {
    if (text.find(part) != std::string_view::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
}

} // namespace vantery::mcp::testing
