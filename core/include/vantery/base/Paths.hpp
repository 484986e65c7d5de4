#pragma once
// Where things live: the user's home folder, "~" in paths given by the user, and
// private folders. One set of rules for every program.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

/// Creates `folder` and its missing parents, each new one private to the user
/// (mode 0700); existing folders are left as they are. True when `folder` is a
/// folder afterwards.
bool makePrivateFolders(const std::string& folder);

/// The folder part of a file path ("." when it has none).
std::string folderOf(const std::string& path);

} // namespace vantery::paths
