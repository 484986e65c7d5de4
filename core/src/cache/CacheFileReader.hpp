#pragma once
// The cache file's reader over any source of bytes, for readCacheFile, decodeCacheFile
// and tests that change the bytes while they are read.
#include <cstdint>
#include <memory>
#include <optional>

#include "cache/CacheFilePieces.hpp"
#include "vantery/cache/CacheFile.hpp"

namespace vantery {

/// The content of the cache file of `fileSize` bytes that `readAt` reads; absent unless
/// every byte decoded is one that the trailer's hash covers, read as it was hashed.
/// With `keys`, the blocks leave their keys' texts in that file at their offsets.
std::optional<CacheContent> decodeCacheFileAt(const cachefile::ReadAt& readAt,
                                              std::uint64_t fileSize,
                                              const std::shared_ptr<const KeySource>& keys);

} // namespace vantery
