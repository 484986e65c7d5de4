#pragma once
// Locale-independent number texts shared by the exporter's sources.
#include <charconv>
#include <cstdint>
#include <string>

namespace vantery::exporttext {

/// The plain decimal digits of n, "-" in front when negative.
inline std::string integer(std::int64_t n) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, n);
    return std::string(buf, r.ptr);
}

/// The plain decimal digits of n.
inline std::string integer(std::uint64_t n) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, n);
    return std::string(buf, r.ptr);
}

} // namespace vantery::exporttext
