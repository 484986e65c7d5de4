#pragma once
// The binary cache file: "VTC1", version 2, one table of distinct strings, then the
// files and their requests; integers as unsigned LEB128 varints.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vantery/cache/ScanCache.hpp"

namespace vantery {

/// What a cache file holds: the files, and the one dictionary their blocks' ids refer to.
struct CacheContent {
    ScanCache::FileTable files;
    std::shared_ptr<RequestDictionary> dictionary; ///< never null
    /// No request key (but the empty one, which never unifies) is in two files' blocks.
    bool keysDistinct = false;
};

/// Writes the cache file of `files` (their blocks' ids in `dictionary`) to `sink`, in
/// consecutive pieces of a few MiB: the file is never held whole. Requests in block
/// order, each file's rank its position in `files`.
void writeCacheFile(const ScanCache::FileTable& files, const RequestDictionary& dictionary,
                    const std::function<void(std::string_view)>& sink);
/// The whole cache file at once.
std::string encodeCacheFile(const ScanCache::FileTable& files, const RequestDictionary& dictionary);
/// The content of a cache file, each file's block in the file's order; absent when the
/// bytes are not a complete, valid file.
std::optional<CacheContent> decodeCacheFile(std::string_view bytes);

} // namespace vantery
