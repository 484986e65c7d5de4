#pragma once
// Where things live: the user's home folder, "~" in paths given by the user, the
// default scan cache file, and whether a path is a safe place to keep the cache.
// One set of rules for every program.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vantery/model/UsageRecord.hpp"

namespace vantery::paths {

/// Looks up an environment variable; absent when unset.
using Environment = std::function<std::optional<std::string>(const char* name)>;

/// The process's own environment.
Environment processEnvironment();

/// The user's home folder: HOME when it is an absolute path, otherwise the
/// account's home folder from the user database; absent when neither gives one.
std::optional<std::string> userHome(const Environment& env);
/// The same from the process environment.
std::optional<std::string> userHome();

/// "~" alone or a leading "~/" replaced by `home`; any other path (including
/// "~name/...") unchanged.
std::string expandTilde(std::string_view path, std::string_view home);

/// The default cache file: <application data>/ro.kelvora.vantery/scan-cache.v2.bin,
/// where application data is ~/Library/Application Support on macOS and
/// $XDG_DATA_HOME (when absolute), else ~/.local/share, elsewhere. Absent when it
/// needs a home folder and none can be found.
std::optional<std::string> defaultCachePath(const Environment& env);
/// The same from the process environment.
std::optional<std::string> defaultCachePath();

/// Creates `folder` and its missing parents, each new one private to the user
/// (mode 0700); existing folders are left as they are. True when `folder` is a
/// folder afterwards.
bool makePrivateFolders(const std::string& folder);

/// The folder part of a file path ("." when it has none).
std::string folderOf(const std::string& path);

/// Whether a cache file may be written at a path.
enum class CacheTarget {
    ok,              ///< nothing there yet, or a cache file written earlier
    insideHomeTrees, ///< inside a Claude home's projects or teams folder
    foreignFile,     ///< something is there that is not a cache file
};

/// Whether an existing entry at `path` may be replaced by a cache save: true when
/// nothing is there or it is a regular file beginning with the cache magic "VTC1".
/// Never blocks (a FIFO is refused, not opened for reading).
bool holdsNoForeignFile(const std::string& path);

/// Whether a cache may be kept at `path` given the homes whose transcripts and
/// rosters are read: never inside their projects or teams trees (symbolic links
/// followed), never over a file that is not a cache file.
CacheTarget checkCacheTarget(const std::string& path, const std::vector<SourceHome>& homes);

/// A line for the log explaining why the cache is not kept at `path`; empty for ok.
std::string describe(CacheTarget target, const std::string& path);

} // namespace vantery::paths
