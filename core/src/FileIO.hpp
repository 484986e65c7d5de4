#pragma once
// Small POSIX helpers for whole-file reads and file attributes.
#include <cstdint>
#include <optional>
#include <string>

namespace vantery::fileio {

/// The whole content of a regular file; absent when it cannot be opened or read.
std::optional<std::string> readWholeFile(const std::string& path);

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
