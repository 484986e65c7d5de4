#include "vantery/base/Paths.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantery::paths {

Environment processEnvironment() {
    return [](const char* name) -> std::optional<std::string> {
        if (const char* v = std::getenv(name)) return std::string(v);
        return std::nullopt;
    };
}

std::optional<std::string> userHome(const Environment& env) {
    if (auto home = env("HOME"); home && !home->empty() && (*home)[0] == '/') return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
        return std::string(pw->pw_dir);
    return std::nullopt;
}

std::optional<std::string> userHome() {
    return userHome(processEnvironment());
}

std::string expandTilde(std::string_view path, std::string_view home) {
    if (path == "~") return std::string(home);
    if (path.starts_with("~/")) return std::string(home) + std::string(path.substr(1));
    return std::string(path);
}

bool makePrivateFolders(const std::string& folder) {
    if (folder.empty()) return false;
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos != folder.size() && folder[pos] != '/') continue;
        std::string prefix = folder.substr(0, pos);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string folderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

} // namespace vantery::paths
