#include "base/PrivateFile.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "base/FileIO.hpp"
#include "vantery/base/Paths.hpp"

namespace vantery::fileio {
namespace {

// Reads `size` bytes at `offset` into `out`; false when the file gives fewer. In pieces:
// one read of 85 MB from the page cache took 0.8 s here, pieces of 1 MiB 0.03 s.
bool readFullyAt(int fd, char* out, std::size_t size, std::size_t offset) {
    constexpr std::size_t pieceBytes = std::size_t{1} << 20;
    std::size_t got = 0;
    while (got < size) {
        const std::size_t want = std::min(pieceBytes, size - got);
        const ssize_t n = ::pread(fd, out + got, want, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

// An unlinked file beside `path`, open for reading and writing; -1 when none can be made.
int unlinkedFileBeside(const std::string& path) {
    const std::string folder = paths::folderOf(path);
#if defined(O_TMPFILE)
    if (int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600); fd >= 0) return fd;
#endif
    std::string name = folder + "/.vantery-copy.XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return -1;
    ::unlink(name.c_str());
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
}

// Copies the first `size` bytes of `from` into `to`; false when either falls short.
bool copyFully(int from, int to, std::size_t size) {
    std::size_t done = 0;
#if defined(__linux__)
    // In the kernel, without passing through this process's memory.
    while (done < size) {
        loff_t in = static_cast<loff_t>(done), out = static_cast<loff_t>(done);
        const ssize_t n = ::copy_file_range(from, &in, to, &out, size - done, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) return false; // the file ended early
        if (n < 0) break;         // not offered here: copied through a buffer below
        done += static_cast<std::size_t>(n);
    }
#endif
    std::vector<char> buffer(std::min<std::size_t>(size - done, std::size_t{1} << 20));
    while (done < size) {
        const std::size_t want = std::min(buffer.size(), size - done);
        if (!readFullyAt(from, buffer.data(), want, done)) return false;
        for (std::size_t put = 0; put < want;) {
            const ssize_t n =
                ::pwrite(to, buffer.data() + put, want - put, static_cast<off_t>(done + put));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            put += static_cast<std::size_t>(n);
        }
        done += want;
    }
    return true;
}

// The copy of `size` bytes of `fd` mapped read-only; null when it cannot be made. The
// copy has no name, so nothing but this mapping reaches it; it goes with the mapping.
const char* mappedCopy(const std::string& path, int fd, std::size_t size) {
    const int copy = unlinkedFileBeside(path);
    if (copy < 0) return nullptr;
    void* p = copyFully(fd, copy, size) ? ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, copy, 0)
                                        : MAP_FAILED;
    ::close(copy);
    if (p == MAP_FAILED) return nullptr;
    ::madvise(p, size, MADV_SEQUENTIAL);
    return static_cast<const char*>(p);
}

// `size` bytes of `fd` read into memory of their own; null when the file gives fewer.
const char* readIntoMemory(int fd, std::size_t size) {
    // Faulted in by 4 KiB pages, the memory cost more than the decoding: 56 MB took
    // 150 ms here, in 2 MiB pages 14 ms, as fast as mapping the file. Then one call
    // instead of a fault per page as the read fills it. Both only advise.
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
#if defined(MADV_HUGEPAGE)
    ::madvise(p, size, MADV_HUGEPAGE);
#endif
#if defined(MADV_POPULATE_WRITE)
    ::madvise(p, size, MADV_POPULATE_WRITE);
#endif
    if (!readFullyAt(fd, static_cast<char*>(p), size, 0)) {
        ::munmap(p, size);
        return nullptr;
    }
    ::mprotect(p, size, PROT_READ);
    return static_cast<const char*>(p);
}

// The modification time with its fraction.
std::pair<std::int64_t, long> modified(const struct stat& st) {
#if defined(__APPLE__)
    return {st.st_mtimespec.tv_sec, st.st_mtimespec.tv_nsec};
#else
    return {st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
#endif
}

} // namespace

std::optional<PrivateFile> PrivateFile::open(const std::string& path, std::uint64_t maxBytes,
                                             std::size_t copyAbove,
                                             const std::function<void()>& beforeRead) {
    const int fd = openRegularFile(path);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < 0 ||
        static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        ::close(fd);
        return std::nullopt;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    if (beforeRead) beforeRead();
    if (size == 0) return PrivateFile(nullptr, 0, fd, false);
    // A copy that cannot be made (no room, a folder that is only read, the file cut
    // meanwhile) falls back to memory, where a cut file shows as short.
    const char* data = size > copyAbove ? mappedCopy(path, fd, size) : nullptr;
    const bool copied = data != nullptr;
    if (!data) data = readIntoMemory(fd, size);
    PrivateFile taken(data, size, fd, copied);
    if (!data) return std::nullopt;
    // A cut while the bytes were read may still give all of them, a few zeroed at the
    // cut (the kernel clears the tail of the page it cuts): what was read stands only
    // if the file still has the size and time it had.
    struct stat after {};
    if (::fstat(fd, &after) != 0 || after.st_size != st.st_size || modified(after) != modified(st))
        return std::nullopt;
    return taken;
}

PrivateFile::PrivateFile(PrivateFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      fd_(std::exchange(other.fd_, -1)), copied_(other.copied_) {}

PrivateFile::~PrivateFile() {
    if (data_) ::munmap(const_cast<char*>(data_), size_);
    if (fd_ >= 0) ::close(fd_);
}

int PrivateFile::duplicateDescriptor() const noexcept {
    if (fd_ < 0) return -1;
#if defined(F_DUPFD_CLOEXEC)
    return ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
#else
    return ::dup(fd_);
#endif
}

void PrivateFile::release() const noexcept {
    if (data_ && copied_) ::madvise(const_cast<char*>(data_), size_, MADV_DONTNEED);
}

} // namespace vantery::fileio
