#include "model/LocalChannel.hpp"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace vantery::app::channel {
namespace {

// A stream socket that no child process inherits and whose writes never raise SIGPIPE
// (macOS has no MSG_NOSIGNAL; it sets that on the socket).
int newSocket() {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
#if defined(SO_NOSIGPIPE)
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
    return fd;
}

bool addressOf(const std::string& path, sockaddr_un& address) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

timeval asTimeval(std::chrono::milliseconds d) {
    timeval tv{};
    tv.tv_sec = static_cast<decltype(tv.tv_sec)>(d.count() / 1000);
    tv.tv_usec = static_cast<decltype(tv.tv_usec)>((d.count() % 1000) * 1000);
    return tv;
}

} // namespace

bool isPrivateFolder(const std::string& dir) {
    struct stat st {};
    return !dir.empty() && ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::geteuid() && (st.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

int listenAt(const std::string& path, std::string& error) {
    sockaddr_un address;
    if (!addressOf(path, address)) {
        error = "the socket path " + path + " is too long";
        return -1;
    }
    const int fd = newSocket();
    if (fd < 0) {
        error = std::string("no socket: ") + std::strerror(errno);
        return -1;
    }
    // Whatever is left at the path belongs to an instance that is gone: the caller found
    // nobody of this user answering there.
    ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0) {
        error = "cannot listen at " + path + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    ::chmod(path.c_str(), S_IRUSR | S_IWUSR);
    return fd;
}

int connectTo(const std::string& path, std::chrono::milliseconds timeout, bool& refused) {
    refused = true;
    sockaddr_un address;
    if (!addressOf(path, address)) return -1;
    const int fd = newSocket();
    if (fd < 0) return -1;
    // Bounds the connection too: a listener whose queue is full makes connect wait.
    const timeval tv = asTimeval(timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) return fd;
    refused = errno == ENOENT || errno == ECONNREFUSED || errno == ENOTDIR;
    ::close(fd);
    return -1;
}

bool peerIsThisUser(int fd) {
#if defined(SO_PEERCRED)
    ucred cred{};
    socklen_t size = sizeof cred;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) == 0 && size == sizeof cred &&
           cred.uid == ::geteuid();
#else
    uid_t uid = 0;
    gid_t gid = 0;
    return ::getpeereid(fd, &uid, &gid) == 0 && uid == ::geteuid();
#endif
}

LineState readAvailable(int fd, std::string& line, std::size_t maxLength) {
    char buffer[64];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK ? LineState::partial : LineState::failed;
        if (n == 0) return LineState::closed;
        line.append(buffer, static_cast<std::size_t>(n));
        if (const std::size_t end = line.find('\n'); end != std::string::npos) {
            if (end > maxLength) return LineState::failed;
            line.resize(end);
            return LineState::complete;
        }
        if (line.size() > maxLength) return LineState::failed;
    }
}

std::optional<std::string> readLine(int fd, std::size_t maxLength, Clock::time_point deadline,
                                    bool* closed) {
    std::string line;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()) + 1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return std::nullopt;
        switch (readAvailable(fd, line, maxLength)) {
        case LineState::partial:
            continue;
        case LineState::complete:
            return line;
        case LineState::closed:
            if (closed) *closed = true;
            return std::nullopt;
        case LineState::failed:
            return std::nullopt;
        }
    }
}

bool writeAll(int fd, const std::string& text) {
#if defined(MSG_NOSIGNAL)
    constexpr int flags = MSG_NOSIGNAL;
#else
    constexpr int flags = 0;
#endif
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::send(fd, text.data() + done, text.size() - done, flags);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace vantery::app::channel
