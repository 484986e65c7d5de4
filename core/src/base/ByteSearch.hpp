#pragma once
// The search for a short needle in a line, run once per transcript line before any
// parsing.
#include <string_view>

namespace vantery {

/// Whether needle occurs in bytes; an empty needle is never found.
bool containsBytes(std::string_view bytes, std::string_view needle) noexcept;

} // namespace vantery
