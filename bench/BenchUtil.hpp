#pragma once
// Helpers shared by the vantery-bench subcommands.
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

/// A wrong or missing command-line argument; main prints it with the usage.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// "--key value" options and "--flag" switches after the subcommand name.
class Args {
  public:
    /// flags: the names (without "--") that take no value.
    Args(int argc, char** argv, std::vector<std::string> flags);

    bool flag(const std::string& name);
    std::optional<std::string> get(const std::string& name);
    std::string require(const std::string& name);
    std::int64_t integer(const std::string& name, std::int64_t fallback);
    /// Throws UsageError naming any option that no get/flag/require asked for.
    void finish() const;

  private:
    std::map<std::string, std::string> values_;
    std::map<std::string, bool> used_;
};

/// Seconds since an arbitrary start, monotonic.
inline double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

/// Peak resident set size of this process, in bytes.
std::uint64_t peakRssBytes();

} // namespace bench
