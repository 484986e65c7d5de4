#include "vantery/cache/CacheLocation.hpp"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/FileIO.hpp"

namespace vantery::cachefile {
namespace fs = std::filesystem;

namespace {

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

// The same with every symbolic link resolved, a dangling one too: where writing to the
// path would create a file. Past the first part that does not exist the rest is taken as
// written. A chain longer than the kernel follows is left where it stands (opening it
// fails all the same).
std::string resolved(const std::string& path) {
    constexpr int maxLinks = 40;
    std::vector<std::string> left; // the parts still to walk, the next one last
    auto push = [&left](const std::string& p) {
        std::vector<std::string> parts;
        for (std::size_t at = 0; at <= p.size();) {
            std::size_t slash = p.find('/', at);
            if (slash == std::string::npos) slash = p.size();
            if (slash > at) parts.push_back(p.substr(at, slash - at));
            at = slash + 1;
        }
        left.insert(left.end(), parts.rbegin(), parts.rend());
    };
    push(literal(path));
    std::string real; // empty for the root
    int links = 0;
    bool exists = true;
    while (!left.empty()) {
        const std::string part = std::move(left.back());
        left.pop_back();
        if (part == ".") continue;
        if (part == "..") {
            real.resize(real.rfind('/') == std::string::npos ? 0 : real.rfind('/'));
            continue;
        }
        std::string next = real + "/" + part;
        struct stat st {};
        if (exists && ::lstat(next.c_str(), &st) != 0) {
            exists = false;
        } else if (exists && S_ISLNK(st.st_mode) && links < maxLinks) {
            char target[PATH_MAX];
            const ssize_t n = ::readlink(next.c_str(), target, sizeof target);
            if (n > 0 && static_cast<std::size_t>(n) < sizeof target) {
                ++links;
                const std::string to(target, static_cast<std::size_t>(n));
                if (to.front() == '/') real.clear(); // else relative to the link's folder
                push(to);
                continue;
            }
        }
        real = std::move(next);
    }
    return real.empty() ? "/" : real;
}

bool isWithin(const std::string& path, const std::string& root) {
    if (root.empty()) return false;
    if (path == root) return true;
    if (root == "/") return true;
    return path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
           path[root.size()] == '/';
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::optional<std::string> defaultPath(const paths::Environment& env) {
    constexpr std::string_view tail = "/ro.kelvora.vantery/scan-cache.v2.bin";
#if defined(__APPLE__)
    auto home = paths::userHome(env);
    if (!home) return std::nullopt;
    return *home + "/Library/Application Support" + std::string(tail);
#else
    // Only an absolute XDG_DATA_HOME counts; a relative one is ignored.
    if (auto xdg = env("XDG_DATA_HOME"); xdg && !xdg->empty() && (*xdg)[0] == '/')
        return *xdg + std::string(tail);
    auto home = paths::userHome(env);
    if (!home) return std::nullopt;
    return *home + "/.local/share" + std::string(tail);
#endif
}

std::optional<std::string> location(const paths::Environment& env) {
    if (auto path = env("VANTERY_CACHE_PATH"); path && !path->empty()) {
        if (path->starts_with("~")) {
            auto home = paths::userHome(env);
            if (!home) return std::nullopt;
            return paths::expandTilde(*path, *home);
        }
        return path;
    }
    return defaultPath(env);
}

bool replaceable(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT || errno == ENOTDIR;
    // A link, FIFO, device or folder is nothing the cache ever wrote.
    if (!S_ISREG(st.st_mode)) return false;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    char head[4];
    std::size_t got = 0;
    bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (regular) {
        while (got < sizeof head) {
            ssize_t n = ::read(fd, head + got, sizeof head - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    // An empty file holds no one's data (a save cut short before its first byte).
    if (regular && st.st_size == 0) return true;
    return got == sizeof head && std::memcmp(head, magic.data(), sizeof head) == 0;
}

bool withinClaudeHome(const std::string& path, const std::vector<SourceHome>& homes) {
    const std::string asGiven = literal(path), real = resolved(path);
    // The whole home, not only the trees that are read: the app promises to write
    // nothing under a Claude home at all. A home's folder is the one holding its trees.
    for (const SourceHome& home : homes)
        for (const std::string* tree : {&home.projectsPath, &home.teamsPath}) {
            if (tree->empty()) continue;
            const std::string root = paths::folderOf(literal(*tree));
            const std::string b = resolved(root);
            for (const std::string* p : {&asGiven, &real})
                if (isWithin(*p, root) || isWithin(*p, b)) return true;
        }
    return false;
}

Target check(const std::string& path, const std::vector<SourceHome>& homes) {
    if (withinClaudeHome(path, homes)) return Target::insideHome;
    if (!replaceable(path)) return Target::foreignFile;
    return Target::ok;
}

std::string describe(Target target, const std::string& path) {
    switch (target) {
    case Target::ok:
        return {};
    case Target::insideHome:
        return "cache not kept: " + path + " lies inside a Claude home, which is only read";
    case Target::foreignFile:
        return "cache not kept: " + path + " exists and is not a cache file; it is left as it is";
    }
    return {};
}

// Built by appending: g++ 12 warns, wrongly, about prepending to a temporary string.
std::string temporaryPattern(const std::string& path) {
    std::string out = paths::folderOf(path);
    out.append("/.").append(nameOf(path)).append(".XXXXXX");
    return out;
}

void removeStaleTemporaries(const std::string& path) {
    // Longer than any save takes; a temporary this old with no lock is a killed save's.
    constexpr double staleAfterSeconds = 600;
    if (path.empty()) return;
    std::string prefix(1, '.');
    prefix.append(nameOf(path)).append(".");
    DIR* d = fileio::openFolder(paths::folderOf(path));
    if (!d) return;
    const int dir = ::dirfd(d);
    while (const dirent* e = ::readdir(d)) {
        const std::string_view name = e->d_name;
        // mkstemp's six characters are letters and digits.
        if (name.size() != prefix.size() + 6 || !name.starts_with(prefix)) continue;
        bool pattern = true;
        for (char c : name.substr(prefix.size()))
            pattern = pattern && std::isalnum(static_cast<unsigned char>(c));
        if (!pattern) continue;
        int fd = ::openat(dir, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {
        }, again{};
        // Only our own regular files, untouched for a while (a save that has just made
        // its temporary may not hold its lock yet), and only when no live save holds the
        // lock; the name must still be that file when it is removed.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            static_cast<double>(st.st_mtime) < fileio::now() - staleAfterSeconds &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dir, e->d_name, &again, AT_SYMLINK_NOFOLLOW) == 0 &&
            again.st_ino == st.st_ino && again.st_dev == st.st_dev)
            ::unlinkat(dir, e->d_name, 0);
        ::close(fd);
    }
    ::closedir(d);
}

} // namespace vantery::cachefile
