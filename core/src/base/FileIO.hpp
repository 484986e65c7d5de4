#pragma once
// Small POSIX helpers for whole-file reads and file attributes.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <dirent.h>

namespace vantery::fileio {

/// Opens a file for reading without ever blocking (a FIFO or device is not
/// waited on) and only when it turns out to be a regular file; -1 otherwise.
int openRegularFile(const std::string& path);

/// Opens a folder to read its entries, close-on-exec; null when it cannot be opened.
/// dirfd() gives its descriptor for the *at calls; closedir() closes both.
DIR* openFolder(const std::string& path);

/// The whole content of a regular file of at most maxBytes; absent when it cannot
/// be opened or read, is not a regular file (FIFO, device, folder) or is larger.
std::optional<std::string> readWholeFile(const std::string& path, std::uint64_t maxBytes);

/// Reads up to `size` bytes of `fd` at `offset` into `out`: the count read, fewer only
/// where the file ends; -1 on an error (errno tells which).
long long readAt(int fd, char* out, std::size_t size, std::uint64_t offset);

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
