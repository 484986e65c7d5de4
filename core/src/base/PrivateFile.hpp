#pragma once
// A private copy of a file's bytes, for decoding a file another program may change.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vantery::fileio {

/// The bytes of a regular file of at most maxBytes as they were when it was read, held
/// privately: the file cut short or rewritten in place afterwards never reaches them,
/// and one that shrinks while it is read is absent, never a signal (a mapping of the
/// file itself would fault on its lost pages). Up to copyAbove bytes the file is read
/// into memory of its own; a larger one is copied to an unlinked file beside it and
/// mapped from there, so that its pages can be let go as they are used and come back
/// from the copy when touched again. Without room for a copy it is read into memory.
class PrivateFile {
  public:
    /// Files up to this size are read into memory whole.
    static constexpr std::size_t inMemoryBytes = std::size_t{128} << 20;

    /// Absent when the file cannot be opened or read, is not a regular file, is larger
    /// than maxBytes or does not give as many bytes as its size said. `beforeRead` runs
    /// once the size is taken (tests change the file there).
    static std::optional<PrivateFile> open(const std::string& path, std::uint64_t maxBytes,
                                           std::size_t copyAbove = inMemoryBytes,
                                           const std::function<void()>& beforeRead = {});
    PrivateFile(PrivateFile&& other) noexcept;
    PrivateFile& operator=(PrivateFile&&) = delete;
    ~PrivateFile();
    std::string_view bytes() const noexcept { return {data_, size_}; }
    /// A new descriptor of the file the bytes were read from, open for reading (the
    /// caller closes it); -1 when none can be had. What it reads may have changed since.
    int duplicateDescriptor() const noexcept;
    /// Lets go of the pages read so far when the bytes are mapped from a copy: they stay
    /// readable, read again when touched, but no longer count as the process's memory.
    void release() const noexcept;

  private:
    PrivateFile(const char* data, std::size_t size, int fd, bool copied)
        : data_(data), size_(size), fd_(fd), copied_(copied) {}
    const char* data_ = nullptr;
    std::size_t size_ = 0;
    int fd_ = -1; // the file read
    bool copied_ = false;
};

} // namespace vantery::fileio
