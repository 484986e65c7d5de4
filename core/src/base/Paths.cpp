#include "vantery/base/Paths.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantery::paths {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view cacheMagic = "VTC1";

// The path made absolute and normal, without a trailing slash.
std::string literal(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    if (ec) p = path;
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

// The same with symbolic links resolved as far as the path exists.
std::string resolved(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(literal(path), ec);
    if (ec) return literal(path);
    std::string s = p.string();
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

bool isWithin(const std::string& path, const std::string& root) {
    if (root.empty()) return false;
    if (path == root) return true;
    if (root == "/") return true;
    return path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
           path[root.size()] == '/';
}

} // namespace

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

std::optional<std::string> defaultCachePath(const Environment& env) {
    constexpr std::string_view tail = "/ro.kelvora.vantery/scan-cache.v2.bin";
#if defined(__APPLE__)
    auto home = userHome(env);
    if (!home) return std::nullopt;
    return *home + "/Library/Application Support" + std::string(tail);
#else
    // Only an absolute XDG_DATA_HOME counts; a relative one is ignored.
    if (auto xdg = env("XDG_DATA_HOME"); xdg && !xdg->empty() && (*xdg)[0] == '/')
        return *xdg + std::string(tail);
    auto home = userHome(env);
    if (!home) return std::nullopt;
    return *home + "/.local/share" + std::string(tail);
#endif
}

std::optional<std::string> defaultCachePath() {
    return defaultCachePath(processEnvironment());
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

bool holdsNoForeignFile(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT || errno == ENOTDIR;
    // A link, FIFO, device or folder is nothing the cache ever wrote.
    if (!S_ISREG(st.st_mode)) return false;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    char head[4];
    std::size_t got = 0;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        while (got < sizeof head) {
            ssize_t n = ::read(fd, head + got, sizeof head - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    return got == sizeof head && std::memcmp(head, cacheMagic.data(), sizeof head) == 0;
}

CacheTarget checkCacheTarget(const std::string& path, const std::vector<SourceHome>& homes) {
    const std::string asGiven = literal(path), real = resolved(path);
    for (const SourceHome& home : homes)
        for (const std::string* tree : {&home.projectsPath, &home.teamsPath}) {
            if (tree->empty()) continue;
            const std::string a = literal(*tree), b = resolved(*tree);
            for (const std::string* p : {&asGiven, &real})
                if (isWithin(*p, a) || isWithin(*p, b)) return CacheTarget::insideHomeTrees;
        }
    if (!holdsNoForeignFile(path)) return CacheTarget::foreignFile;
    return CacheTarget::ok;
}

std::string describe(CacheTarget target, const std::string& path) {
    switch (target) {
    case CacheTarget::ok:
        return {};
    case CacheTarget::insideHomeTrees:
        return "cache not kept: " + path +
               " lies inside a Claude home's projects or teams folder, which are only read";
    case CacheTarget::foreignFile:
        return "cache not kept: " + path + " exists and is not a cache file; it is left as it is";
    }
    return {};
}

} // namespace vantery::paths
