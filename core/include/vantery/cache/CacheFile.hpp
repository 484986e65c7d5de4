#pragma once
// The binary cache file: "VTC1", a version, one table of distinct strings, then the
// files and their requests; integers as unsigned LEB128 varints. A trailer of the
// length and the hash of the hashes of all that, piece by piece, closes it.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
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

/// A KeySource reading the texts of a cache file through `fd`, which it owns and closes.
/// The descriptor keeps the file's content readable after a save renames another over it.
std::shared_ptr<const KeySource> cacheFileKeys(int fd);

/// A key's text could not be read back from the file it was left in, or came back other
/// than it was: that file was cut or rewritten in place since it was loaded.
struct LostKeyTexts : std::runtime_error {
    LostKeyTexts()
        : std::runtime_error("a request key could not be read back from the cache file") {}
};

/// The cache file would be larger than a load takes: it is not written.
struct CacheTooLarge : std::length_error {
    CacheTooLarge();
};

/// Removes from `files` the entries whose blocks cannot give back every key's text as it
/// was, and returns them.
ScanCache::FileTable takeFilesWithLostKeys(ScanCache::FileTable& files);

/// Writes the cache file of `files` (their blocks' ids in `dictionary`) to `sink`, in
/// consecutive pieces of a few MiB: the file is never held whole. Requests in block
/// order, each file's rank its position in `files`. `keysDistinct` vouches that no key
/// is in two blocks, which spares an index over all keys. Throws LostKeyTexts when a
/// key's text cannot be read back from its source as it was. Given `keyOffsets`, fills
/// it with where each request's key text (its length, then its bytes) lies in the file,
/// requests in the order above. Throws CacheTooLarge, having handed on no more than
/// `maxBytes`, when the file would be larger: files that size are never loaded.
void writeCacheFile(const ScanCache::FileTable& files, const RequestDictionary& dictionary,
                    const std::function<void(std::string_view)>& sink, bool keysDistinct = false,
                    std::vector<std::uint32_t>* keyOffsets = nullptr,
                    std::uint64_t maxBytes = ScanCache::maxCacheFileBytes);
/// The whole cache file at once: the in-memory form that tests, the fuzzer and the
/// benchmark round-trip; the programs save through writeCacheFile.
std::string encodeCacheFile(const ScanCache::FileTable& files, const RequestDictionary& dictionary);
/// The content of a cache file, each file's block in the file's order; absent when the
/// bytes are not a complete, valid file, its trailer included.
std::optional<CacheContent> decodeCacheFile(std::string_view bytes);
/// The same, read from the open file `fd` (which it takes over and closes once no block
/// needs it) in batches, never held whole; the blocks leave their keys' texts in that
/// file. Absent as above, when the file is larger than `maxBytes`, and when it changed
/// while it was read.
std::optional<CacheContent> readCacheFile(int fd, std::uint64_t maxBytes);
/// The trailer a cache file whose bytes before it are `before` ends with.
std::string cacheFileTrailer(std::string_view before);

} // namespace vantery
