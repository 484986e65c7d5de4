#include <atomic>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include "ingest/LineReader.hpp"

#include "base/FileIO.hpp"

namespace vantery {

LineReader::ReadError::ReadError(std::string p, std::uint64_t upTo)
    : std::runtime_error("cannot read " + p), path(std::move(p)), deliveredUpTo(upTo) {}

namespace {
std::atomic<std::size_t> maxLine{LineReader::defaultMaxLineBytes};
} // namespace

std::size_t LineReader::maxLineBytes() noexcept {
    return maxLine.load(std::memory_order_relaxed);
}

void LineReader::setMaxLineBytes(std::size_t bytes) noexcept {
    maxLine.store(bytes, std::memory_order_relaxed);
}

namespace detail {

InputFile::InputFile(const std::string& path, std::uint64_t offset) {
    // A FIFO or device put where a transcript was listed is never waited on.
    fd_ = fileio::openRegularFile(path);
    if (fd_ < 0) throw LineReader::ReadError(path, offset);
    if (offset != 0) {
        // An offset past what off_t can hold cannot be positioned to.
        if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) ||
            ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
            ::close(fd_);
            fd_ = -1;
            throw LineReader::ReadError(path, offset);
        }
    }
}

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

long long InputFile::read(char* into, std::size_t n) {
    for (;;) {
        ssize_t r = ::read(fd_, into, n);
        if (r < 0 && errno == EINTR) continue;
        return static_cast<long long>(r);
    }
}

namespace {
struct ThreadBuffer {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
    bool inUse = false;
};
thread_local ThreadBuffer threadBuffer;
} // namespace

ReadBuffer::ReadBuffer(std::size_t size) {
    ThreadBuffer& t = threadBuffer;
    if (!t.inUse) {
        if (t.size < size) {
            t.data.reset(new char[size]); // left uninitialised: every byte is read into first
            t.size = size;
        }
        t.inUse = true;
        borrowed_ = true;
        data_ = t.data.get();
        size_ = t.size;
    } else {
        data_ = new char[size];
        size_ = size;
    }
}

ReadBuffer::~ReadBuffer() {
    if (borrowed_) {
        ThreadBuffer& t = threadBuffer;
        t.inUse = false;
        // A buffer grown for a giant line is not kept for the thread's lifetime.
        if (t.size > 2 * (LineReader::pendingReserve + LineReader::blockSize)) {
            t.data.reset();
            t.size = 0;
        }
    } else {
        delete[] data_;
    }
}

void ReadBuffer::grow(std::size_t n, std::size_t keep) {
    if (n <= size_) return;
    std::unique_ptr<char[]> bigger(new char[n]);
    std::memcpy(bigger.get(), data_, keep);
    if (borrowed_) {
        ThreadBuffer& t = threadBuffer;
        t.data = std::move(bigger);
        t.size = n;
        data_ = t.data.get();
    } else {
        delete[] data_;
        data_ = bigger.release();
    }
    size_ = n;
}

} // namespace detail

std::uint64_t LineReader::forEachLine(const std::string& path, std::uint64_t fromOffset,
                                      std::optional<std::uint64_t> upToOffset, const Body& body) {
    return forEachLineInline(path, fromOffset, upToOffset,
                             [&body](std::string_view line) { body(line); });
}

} // namespace vantery
