#pragma once
// Numbers too large for the JSON parser, rewritten as the counts they stand for.
#include <string>
#include <string_view>

namespace vantery::detail {

/// The JSON parser refuses numbers beyond the 64-bit integer and double ranges,
/// although they are valid JSON. Rewrites each such number (any number with a
/// fraction or exponent, any integer of 20 digits or more) in `line` as the count it
/// stands for (cut toward zero, clamped to int64), into `out`, leaving strings and
/// malformed numbers alone. False when nothing changed.
bool clampLargeNumbers(std::string_view line, std::string& out);

} // namespace vantery::detail
