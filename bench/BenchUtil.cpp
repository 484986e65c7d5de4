#include "BenchUtil.hpp"

#include <algorithm>
#include <charconv>

#include <sys/resource.h>

namespace bench {
namespace {
// Appending to a named string keeps GCC 12's -Wrestrict false positive on
// literal + std::string away.
std::string option(const std::string& name, const char* rest) {
    std::string s = "--";
    s += name;
    s += rest;
    return s;
}
} // namespace

Args::Args(int argc, char** argv, std::vector<std::string> flags) {
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (a.rfind("--", 0) != 0 || a.size() == 2)
            throw UsageError(std::string("unexpected argument: ").append(a));
        std::string name = a.substr(2);
        if (std::find(flags.begin(), flags.end(), name) != flags.end()) {
            values_[name] = std::string(1, '1');
        } else {
            if (i + 1 >= argc) throw UsageError(option(name, " needs a value"));
            values_[name] = argv[++i];
        }
        used_[name] = false;
    }
}

bool Args::flag(const std::string& name) {
    return get(name).has_value();
}

std::optional<std::string> Args::get(const std::string& name) {
    auto it = values_.find(name);
    if (it == values_.end()) return std::nullopt;
    used_[name] = true;
    return it->second;
}

std::string Args::require(const std::string& name) {
    auto v = get(name);
    if (!v) throw UsageError(option(name, " is required"));
    return *v;
}

std::int64_t Args::integer(const std::string& name, std::int64_t fallback) {
    auto v = get(name);
    if (!v) return fallback;
    std::int64_t out = 0;
    auto r = std::from_chars(v->data(), v->data() + v->size(), out);
    if (r.ec != std::errc() || r.ptr != v->data() + v->size())
        throw UsageError(option(name, " needs an integer, not ") + *v);
    return out;
}

void Args::finish() const {
    for (const auto& [name, used] : used_)
        if (!used) throw UsageError(std::string("unknown option ").append(option(name, "")));
}

std::uint64_t peakRssBytes() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<std::uint64_t>(u.ru_maxrss) * 1024; // kilobytes on Linux
}

} // namespace bench
