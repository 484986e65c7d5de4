#include "FileIO.hpp"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantery::fileio {

std::optional<std::string> readWholeFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string out;
    struct stat st {};
    // Read straight into the result; grow it when the file turns out longer.
    std::size_t capacity = 1 << 16;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        capacity = static_cast<std::size_t>(st.st_size) + 1;
    std::size_t filled = 0;
    out.resize(capacity);
    for (;;) {
        if (filled == out.size()) out.resize(out.size() * 2);
        ssize_t n = ::read(fd, out.data() + filled, out.size() - filled);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
    }
    ::close(fd);
    out.resize(filled);
    return out;
}

std::optional<Attributes> attributesOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    Attributes a;
    a.size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
#if defined(__APPLE__)
    const struct timespec& ts = st.st_mtimespec;
#else
    const struct timespec& ts = st.st_mtim;
#endif
    a.mtime = static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
    a.inode = static_cast<std::uint64_t>(st.st_ino);
    return a;
}

double now() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

} // namespace vantery::fileio
