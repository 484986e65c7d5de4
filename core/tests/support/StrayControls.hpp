#pragma once
// Checks a text meant for a person (a summary, a server answer) for characters that a
// name from the data could smuggle in: NUL and other controls, and direction controls
// other than a balanced isolate on one line.
#include <string>
#include <string_view>

namespace vantery::testing {

/// Empty when `text` holds no C0 control but the line feed, no C1 control, no direction
/// mark, embedding, override or isolate other than U+2068 ... U+2069 pairs each opened
/// and closed on one line (not nested), no line or paragraph separator, no format
/// character and no code point that draws nothing (zero-width spaces, tag characters...)
/// but a joiner between two emoji and U+FE0F after one; else where and what the first
/// offender is.
std::string strayControl(std::string_view text);

} // namespace vantery::testing
