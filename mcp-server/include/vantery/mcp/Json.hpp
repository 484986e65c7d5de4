#pragma once
// The server's JSON value (member order kept as built) and typed argument reads.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace vantery::mcp {

using Json = nlohmann::ordered_json;

/// The argument as a string; absent when missing or of another type.
std::optional<std::string> argString(const Json& arguments, std::string_view key);
/// The argument as an integer (a whole number written with a fraction counts);
/// absent when missing, of another type, fractional or out of the int64 range.
std::optional<std::int64_t> argInt(const Json& arguments, std::string_view key);
/// The argument as a boolean; absent when missing or of another type.
std::optional<bool> argBool(const Json& arguments, std::string_view key);

} // namespace vantery::mcp
