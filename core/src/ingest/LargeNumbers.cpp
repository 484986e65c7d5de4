#include "ingest/LargeNumbers.hpp"

#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

#include "vantery/base/Saturating.hpp"
#include "vantery/base/Text.hpp"

namespace vantery::detail {
namespace {

// The integer a JSON number token stands for when read as a count: cut toward
// zero, clamped to the int64 range.
std::int64_t countOfNumber(std::string_view t) {
    bool negative = t.front() == '-';
    if (t.find_first_of(".eE") == std::string_view::npos) // an integer too long for 64 bits
        return negative ? std::numeric_limits<std::int64_t>::min()
                        : std::numeric_limits<std::int64_t>::max();
    double d = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), d);
    if (r.ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: the exponent's sign tells which.
        auto e = t.find_first_of("eE");
        bool tiny = e != std::string_view::npos && e + 1 < t.size() && t[e + 1] == '-';
        if (tiny) return 0;
        return negative ? std::numeric_limits<std::int64_t>::min()
                        : std::numeric_limits<std::int64_t>::max();
    }
    return clampToInt64(d);
}

} // namespace

bool clampLargeNumbers(std::string_view line, std::string& out) {
    out.clear();
    out.reserve(line.size());
    bool changed = false;
    const std::size_t n = line.size();
    for (std::size_t i = 0; i < n;) {
        char c = line[i];
        if (c == '"') {
            std::size_t j = i + 1;
            while (j < n && line[j] != '"')
                j += line[j] == '\\' ? 2 : 1;
            j = std::min(j + 1, n);
            out.append(line.substr(i, j - i));
            i = j;
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            std::size_t j = i;
            while (j < n && ((line[j] >= '0' && line[j] <= '9') || line[j] == '-' ||
                             line[j] == '+' || line[j] == '.' || line[j] == 'e' || line[j] == 'E'))
                ++j;
            std::string_view token = line.substr(i, j - i);
            std::size_t digits = 0;
            for (char d : token)
                digits += d >= '0' && d <= '9';
            bool wide = token.find_first_of(".eE") != std::string_view::npos || digits >= 20;
            if (wide && text::isJsonNumber(token)) {
                out += std::to_string(countOfNumber(token));
                changed = true;
            } else {
                out.append(token);
            }
            i = j;
        } else {
            out += c;
            ++i;
        }
    }
    return changed;
}

} // namespace vantery::detail
