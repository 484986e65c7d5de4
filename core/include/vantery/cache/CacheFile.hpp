#pragma once
// The binary cache file: "VTC1", version 2, one table of distinct strings, then the
// files and their requests; integers as unsigned LEB128 varints.
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

/// The cache file that bytes being decoded were read from.
struct CacheFileSource {
    /// The same file, open for reading: the decoded blocks leave their keys' texts there
    /// (each text's offset is its place in the bytes) instead of copying them.
    std::shared_ptr<const KeySource> keys;
    /// Lets go of the pages read so far, called as decoding moves on, so that a large
    /// file is never resident whole beside the blocks.
    std::function<void()> release;
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

/// Removes from `files` the entries whose blocks cannot give back every key's text as it
/// was, and returns them.
ScanCache::FileTable takeFilesWithLostKeys(ScanCache::FileTable& files);

/// Writes the cache file of `files` (their blocks' ids in `dictionary`) to `sink`, in
/// consecutive pieces of a few MiB: the file is never held whole. Requests in block
/// order, each file's rank its position in `files`. `keysDistinct` vouches that no key
/// is in two blocks, which spares an index over all keys. Throws LostKeyTexts when a
/// key's text cannot be read back from its source as it was.
void writeCacheFile(const ScanCache::FileTable& files, const RequestDictionary& dictionary,
                    const std::function<void(std::string_view)>& sink, bool keysDistinct = false);
/// The whole cache file at once: the in-memory form that tests, the fuzzer and the
/// benchmark round-trip; the programs save through writeCacheFile.
std::string encodeCacheFile(const ScanCache::FileTable& files, const RequestDictionary& dictionary);
/// The content of a cache file, each file's block in the file's order; absent when the
/// bytes are not a complete, valid file. With a source, the bytes are its whole file.
std::optional<CacheContent> decodeCacheFile(std::string_view bytes,
                                            const CacheFileSource* source = nullptr);

} // namespace vantery
