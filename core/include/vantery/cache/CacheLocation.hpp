#pragma once
// Where the cache file lives and whether it may be written there, decided once, here,
// before anything touches the disk; one set of rules for every program.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vantery/base/Paths.hpp"
#include "vantery/model/UsageRecord.hpp"

namespace vantery::cachefile {

/// The first four bytes of every cache file.
inline constexpr std::string_view magic = "VTC1";

/// The default cache file: <application data>/ro.kelvora.vantery/scan-cache.v2.bin,
/// where application data is ~/Library/Application Support on macOS and
/// $XDG_DATA_HOME (when absolute), else ~/.local/share, elsewhere. Absent when it
/// needs a home folder and none can be found.
std::optional<std::string> defaultPath(const paths::Environment& env);

/// The cache file of a program: VANTERY_CACHE_PATH when set and not empty ("~" expanded
/// against the user's home), else defaultPath. Absent when neither can be formed.
std::optional<std::string> location(const paths::Environment& env);

/// Whether a cache file may be written at a path.
enum class Target {
    ok,          ///< nothing there yet, an empty file, or a cache file written earlier
    insideHome,  ///< inside a Claude home (any of its folders, not only those read)
    foreignFile, ///< something is there that is not a cache file
};

/// Whether an existing entry at `path` may be replaced by a cache save: true when
/// nothing is there, or it is a regular file that is empty or begins with the magic.
/// Never blocks (a FIFO is refused, not opened for reading).
bool replaceable(const std::string& path);

/// Whether `path` lies inside one of the Claude homes of `homes`, anywhere in it, with
/// symbolic links followed: no program writes there, whatever the file.
bool withinClaudeHome(const std::string& path, const std::vector<SourceHome>& homes);

/// Whether a cache may be kept at `path` given the homes whose transcripts and rosters
/// are read: never inside one of those homes (symbolic links followed),
/// never over a file that is not a cache file.
Target check(const std::string& path, const std::vector<SourceHome>& homes);

/// A line for the log explaining why the cache is not kept at `path`; empty for ok.
std::string describe(Target target, const std::string& path);

/// The name pattern of a save's temporary file beside `path`: ".<name>.XXXXXX".
std::string temporaryPattern(const std::string& path);

/// Removes the temporaries a save killed midway left beside `path`: only regular files
/// of this user named by temporaryPattern, unchanged for ten minutes, whose writer is
/// gone (a live save holds a lock on its temporary). Never fails; what cannot be removed
/// stays.
void removeStaleTemporaries(const std::string& path);

} // namespace vantery::cachefile
