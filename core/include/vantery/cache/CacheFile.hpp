#pragma once
// The binary cache file: "VTC1", version 2, one table of distinct strings, then the
// files and their requests; integers as unsigned LEB128 varints.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vantery/cache/ScanCache.hpp"

namespace vantery {

/// The whole cache file for a table.
std::string encodeCacheFile(const ScanCache::FileTable& table);
/// The same file in consecutive pieces, to be written one after the other.
std::vector<std::string> encodeCacheFileParts(const ScanCache::FileTable& table);
/// The table in a cache file; absent when the bytes are not a complete, valid file.
std::optional<ScanCache::FileTable> decodeCacheFile(std::string_view bytes);

} // namespace vantery
