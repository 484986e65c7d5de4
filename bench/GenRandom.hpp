#pragma once
// The generator's deterministic randomness and the texts it draws: ids, timestamps and
// plain words, the same for a seed on every machine.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace bench::draw {

class Rng {
  public:
    explicit Rng(std::uint64_t seed) : s_(seed * 0x9E3779B97F4A7C15ULL + 0x632BE59BD9B4E019ULL) {}
    std::uint64_t next() {
        std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::uint64_t below(std::uint64_t n) { return n ? next() % n : 0; }
    std::int64_t range(std::int64_t lo, std::int64_t hi) {
        return lo + static_cast<std::int64_t>(below(static_cast<std::uint64_t>(hi - lo + 1)));
    }
    bool chance(double p) { return static_cast<double>(next() >> 11) * 0x1.0p-53 < p; }
    template <class T> const T& pick(const std::vector<T>& v) { return v[below(v.size())]; }

  private:
    std::uint64_t s_;
};

// n characters drawn from `digits`.
inline std::string drawn(Rng& rng, int n, std::string_view digits) {
    std::string s(static_cast<std::size_t>(n), '0');
    for (auto& c : s)
        c = digits[rng.below(digits.size())];
    return s;
}

inline std::string hex(Rng& rng, int n) {
    return drawn(rng, n, "0123456789abcdef");
}

inline std::string uuid(Rng& rng) {
    return hex(rng, 8) + "-" + hex(rng, 4) + "-" + hex(rng, 4) + "-" + hex(rng, 4) + "-" +
           hex(rng, 12);
}

inline std::string base62(Rng& rng, int n) {
    return drawn(rng, n, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
}

// "2026-02-10T21:11:59.186Z" from milliseconds since 1970.
inline std::string isoMillis(std::int64_t ms) {
    std::int64_t secs = ms / 1000, millis = ms % 1000;
    if (millis < 0) {
        millis += 1000;
        --secs;
    }
    std::int64_t days = secs / 86400, sod = secs % 86400;
    if (sod < 0) {
        sod += 86400;
        --days;
    }
    // Civil date from days since 1970 (proleptic Gregorian).
    std::int64_t z = days + 719468;
    std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    std::int64_t doe = z - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t y = yoe + era * 400;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;
    std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
    char buf[128];
    std::snprintf(buf, sizeof buf,
                  "%04" PRId64 "-%02" PRId64 "-%02" PRId64 "T%02" PRId64 ":%02" PRId64 ":%02" PRId64
                  ".%03" PRId64 "Z",
                  y, m, d, sod / 3600, sod / 60 % 60, sod % 60, millis);
    return buf;
}

// Plain words (nothing to escape in JSON) to cut text from.
inline std::string makeTextPool(std::size_t size) {
    static const std::vector<std::string> words = {
        "the",  "request", "function", "returns", "file",   "error",  "let",    "me",     "check",
        "test", "build",   "cache",    "module",  "config", "update", "value",  "string", "parser",
        "line", "output",  "change",   "we",      "need",   "to",     "handle", "case",   "where",
        "path", "is",      "empty",    "and",     "then",   "run",    "again",  "looks",  "good",
        "now",  "fix",     "import",   "struct",  "async",  "await",  "index",  "query"};
    Rng rng(12345);
    std::string s;
    s.reserve(size + 16);
    while (s.size() < size) {
        s += rng.pick(words);
        s += rng.chance(0.08) ? ". " : " ";
    }
    s.resize(size);
    return s;
}

} // namespace bench::draw
