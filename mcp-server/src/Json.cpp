#include "vantery/mcp/Json.hpp"

#include <cmath>

namespace vantery::mcp {
namespace {

const Json* member(const Json& object, std::string_view key) {
    if (!object.is_object()) return nullptr;
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

} // namespace

std::optional<std::string> argString(const Json& arguments, std::string_view key) {
    const Json* v = member(arguments, key);
    if (!v || !v->is_string()) return std::nullopt;
    return v->get<std::string>();
}

std::optional<std::int64_t> argInt(const Json& arguments, std::string_view key) {
    const Json* v = member(arguments, key);
    if (!v) return std::nullopt;
    if (v->is_number_unsigned()) {
        auto u = v->get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
        return static_cast<std::int64_t>(u);
    }
    if (v->is_number_integer()) return v->get<std::int64_t>();
    if (v->is_number_float()) {
        double d = v->get<double>();
        // 2^63 itself is out of range; every double below it converts exactly.
        if (!std::isfinite(d) || d != std::trunc(d) || d >= 9223372036854775808.0 ||
            d < -9223372036854775808.0)
            return std::nullopt;
        return static_cast<std::int64_t>(d);
    }
    return std::nullopt;
}

std::optional<bool> argBool(const Json& arguments, std::string_view key) {
    const Json* v = member(arguments, key);
    if (!v || !v->is_boolean()) return std::nullopt;
    return v->get<bool>();
}

} // namespace vantery::mcp
