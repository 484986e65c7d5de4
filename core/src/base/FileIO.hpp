#pragma once
// Small POSIX helpers for whole-file reads and file attributes.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantery::fileio {

/// Opens a file for reading without ever blocking (a FIFO or device is not
/// waited on) and only when it turns out to be a regular file; -1 otherwise.
int openRegularFile(const std::string& path);

/// The whole content of a regular file of at most maxBytes; absent when it cannot
/// be opened or read, is not a regular file (FIFO, device, folder) or is larger.
std::optional<std::string> readWholeFile(const std::string& path, std::uint64_t maxBytes);

/// A regular file of at most maxBytes mapped read-only and private, unmapped when the
/// value goes: its bytes are read from the page cache without a copy of their own.
class MappedFile {
  public:
    /// Files up to this size are read in whole at once and kept resident while mapped.
    static constexpr std::size_t populatedBytes = std::size_t{128} << 20;

    /// Absent when the file cannot be opened or mapped, is not a regular file or is
    /// larger than maxBytes.
    static std::optional<MappedFile> open(const std::string& path, std::uint64_t maxBytes);
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&&) = delete;
    ~MappedFile();
    std::string_view bytes() const noexcept { return {data_, size_}; }
    /// A new descriptor of the mapped file, open for reading (the caller closes it);
    /// -1 when none can be had.
    int duplicateDescriptor() const noexcept;
    /// Lets go of the pages read so far, for files above populatedBytes: the bytes stay
    /// readable, read again from the page cache when touched, but no longer count as the
    /// process's memory.
    void release() const noexcept;

  private:
    MappedFile(const char* data, std::size_t size, int fd) : data_(data), size_(size), fd_(fd) {}
    const char* data_ = nullptr;
    std::size_t size_ = 0;
    int fd_ = -1;
};

/// Size, modification time (with its fraction) and file number; absent when the
/// file cannot be queried.
struct Attributes {
    std::uint64_t size = 0;
    double mtime = 0;
    std::uint64_t inode = 0;
};
std::optional<Attributes> attributesOf(const std::string& path);

/// Seconds since 1970 from the system clock.
double now();

} // namespace vantery::fileio
