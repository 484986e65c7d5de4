#include "vantery/base/CommandLine.hpp"

#include <vector>

namespace vantery::cli {

std::optional<int> answerOptions(int argc, const char* const* argv, std::string_view name,
                                 std::string_view version, std::string_view usage,
                                 std::ostream& out, std::ostream& err,
                                 const ForeignOptions& foreign) {
    bool help = false, showVersion = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
#if defined(__APPLE__)
        // Older macOS versions pass the process serial number to an app Finder opens.
        if (arg.starts_with("-psn_")) continue;
#endif
        if (const int words = foreign ? foreign(arg) : 0; words > 0) {
            i += words - 1;
            continue;
        }
        if (arg == "--help") {
            help = true;
        } else if (arg == "--version") {
            showVersion = true;
        } else {
            err << name << (arg.starts_with('-') ? ": unknown option '" : ": unexpected argument '")
                << arg << "'\n\n"
                << usage << std::flush;
            return 2;
        }
    }
    if (help) {
        out << usage << std::flush;
        return 0;
    }
    if (showVersion) {
        out << name << ' ' << version << '\n' << std::flush;
        return 0;
    }
    return std::nullopt;
}

std::string homesLine(const std::vector<std::string>& names) {
    std::string line = "  ";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) line += i + 1 == names.size() ? " and " : ", ";
        line += names[i];
    }
    return line + '\n';
}

std::string commonUsageTail(const std::optional<std::string>& defaultCachePath) {
    std::string tail = "  VANTERY_CACHE_PATH  the scan cache file, instead of the default one\n";
#if !defined(__APPLE__)
    tail += "  XDG_DATA_HOME       where the default cache file goes, when an absolute path\n";
#endif
    tail += "  HOME                your home folder\n"
            "  TZ                  the time zone that decides days and hours\n"
            "\nDefault cache file: ";
    tail += defaultCachePath.value_or("none (no home folder found)");
    tail += '\n';
    return tail;
}

} // namespace vantery::cli
