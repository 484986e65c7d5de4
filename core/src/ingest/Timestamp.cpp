#include <cstdint>

#include "ingest/LineReader.hpp"

namespace vantery {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Days from 0000-03-01 in the proleptic Gregorian calendar.
std::int64_t dayNumber(std::int64_t year, std::int64_t month, std::int64_t day) {
    std::int64_t y = month <= 2 ? year - 1 : year;
    std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    std::int64_t yoe = y - era * 400;
    std::int64_t mp = month <= 2 ? month + 9 : month - 3;
    std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
}

} // namespace

std::optional<double> Timestamp::parse(std::string_view t) {
    if (t.size() < 19) return std::nullopt;
    if (t[4] != '-' || t[7] != '-' || (t[10] != 'T' && t[10] != ' ') || t[13] != ':' ||
        t[16] != ':')
        return std::nullopt;
    auto number = [&](std::size_t at, std::size_t n, int& out) {
        out = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            if (!isDigit(t[i])) return false;
            out = out * 10 + (t[i] - '0');
        }
        return true;
    };
    int year, month, day, hour, minute, second;
    if (!number(0, 4, year) || !number(5, 2, month) || !number(8, 2, day) || !number(11, 2, hour) ||
        !number(14, 2, minute) || !number(17, 2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 61)
        return std::nullopt;

    double fraction = 0;
    std::int64_t offset = 0;
    std::size_t pos = 19;
    if (pos < t.size() && t[pos] == '.') {
        ++pos;
        double factor = 0.1;
        while (pos < t.size() && isDigit(t[pos])) {
            fraction += (t[pos] - '0') * factor;
            factor /= 10;
            ++pos;
        }
    }
    if (pos < t.size() && (t[pos] == '+' || t[pos] == '-')) {
        int sign = t[pos] == '-' ? -1 : 1;
        if (t.size() - pos < 3 || !isDigit(t[pos + 1]) || !isDigit(t[pos + 2])) return std::nullopt;
        int hours = (t[pos + 1] - '0') * 10 + (t[pos + 2] - '0');
        pos += 3;
        if (pos < t.size() && t[pos] == ':') ++pos;
        int minutes = 0;
        if (t.size() - pos >= 2 && isDigit(t[pos]) && isDigit(t[pos + 1]))
            minutes = (t[pos] - '0') * 10 + (t[pos + 1] - '0');
        offset = sign * (hours * 3600 + minutes * 60);
    }
    std::int64_t seconds = dayNumber(year, month, day) * 86400 + hour * 3600 + minute * 60 +
                           second - offset - 62162035200LL;
    return static_cast<double>(seconds) + fraction;
}

} // namespace vantery
