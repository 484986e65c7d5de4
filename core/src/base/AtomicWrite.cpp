#include "base/AtomicWrite.hpp"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "vantery/base/Paths.hpp"

namespace vantery::fileio {
namespace {

[[noreturn]] void throwErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

std::string refusal(const std::string& path, const Replacement& how) {
    std::string s = "not replacing ";
    s.append(path).append(": it is not ").append(how.kind);
    return s;
}

} // namespace

void writeAtomically(const std::string& path, const Replacement& how,
                     const std::function<void(const Sink&)>& produce, int* readBack) {
    if (readBack) *readBack = -1;
    // Decided before anything is created beside the path.
    if (!how.mayReplace()) {
        errno = EEXIST;
        throwErrno(refusal(path, how));
    }
    const std::string folder = paths::folderOf(path);
    if (how.clearStale) how.clearStale();
    std::string temp = how.temporaryPattern;
    int fd = ::mkstemp(temp.data());
    if (fd < 0) throwErrno("cannot create a temporary file beside " + path);
    auto fail = [&](const std::string& what) {
        int saved = errno;
        ::unlink(temp.c_str());
        ::close(fd);
        errno = saved;
        throwErrno(what);
    };
    if (::flock(fd, LOCK_EX) != 0) fail("cannot lock " + temp);
    if (::fchmod(fd, 0600) != 0) fail("cannot make " + temp + " private");
    bool writeFailed = false;
    try {
        produce([&](std::string_view piece) {
            while (!piece.empty()) {
                ssize_t n = ::write(fd, piece.data(), piece.size());
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    if (n == 0) errno = EIO;
                    writeFailed = true;
                    fail("cannot write " + temp);
                }
                piece.remove_prefix(static_cast<std::size_t>(n));
            }
        });
    } catch (...) {
        if (writeFailed) throw; // the temporary is gone already
        // The content could not be produced (a key's text not read back, say).
        ::unlink(temp.c_str());
        ::close(fd);
        throw;
    }
    if (::fsync(fd) != 0) fail("cannot flush " + temp);
    // Checked again: something may have appeared at the path meanwhile.
    if (!how.mayReplace()) {
        errno = EEXIST;
        fail(refusal(path, how));
    }
    // Opened for reading under its private name, before any other program can reach it.
    const int reader = readBack ? ::open(temp.c_str(), O_RDONLY | O_CLOEXEC) : -1;
    // Renamed while still open and locked; closed after.
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        if (reader >= 0) ::close(reader);
        fail("cannot replace " + path);
    }
    if (::close(fd) != 0) {
        const int saved = errno;
        if (reader >= 0) ::close(reader);
        errno = saved;
        throwErrno("cannot close " + path);
    }
    if (readBack) *readBack = reader;
    // Make the rename itself durable; a failure here leaves a whole file either way.
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace vantery::fileio
