#pragma once
// The options both programs take before they start their work (--version, --help),
// and the lines of their usage texts that are the same for both.
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vantery::cli {

/// How many command-line words an option that belongs to someone else takes (the
/// option itself and its value, if any), or 0 when it is not such an option.
using ForeignOptions = std::function<int(std::string_view option)>;

/// Answers the command line of a program named `name`: with no argument (or only
/// `foreign` options, which are left for their owner), absent (the program runs); with
/// --help, the usage on `out` (0); with --version, "<name> <version>" on `out` (0); with
/// anything else, an error line and the usage on `err` (2).
std::optional<int> answerOptions(int argc, const char* const* argv, std::string_view name,
                                 std::string_view version, std::string_view usage,
                                 std::ostream& out, std::ostream& err,
                                 const ForeignOptions& foreign = {});

/// The Claude homes read, as an indented line: "  .claude, .claude-work, ... and .claude-yahoo".
std::string homesLine(const std::vector<std::string>& names);

/// The closing lines of both usage texts: the environment variables both programs
/// read for places and days, then where the cache file lives by default (absent when
/// no home folder can be found).
std::string commonUsageTail(const std::optional<std::string>& defaultCachePath);

} // namespace vantery::cli
