#pragma once
// The server tests' names for the shared transcript line builder.
#include "TranscriptLine.hpp"

namespace vantery::mcp::testing {

using Line = vantery::testing::UsageLine;
using vantery::testing::usageLine;

} // namespace vantery::mcp::testing
