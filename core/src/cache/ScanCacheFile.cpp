// The scan cache's file: saving the table whole and loading it back, all or nothing.
#include <sys/stat.h>

#include <cerrno>
#include <functional>
#include <new>
#include <system_error>

#include "base/AtomicWrite.hpp"
#include "base/FileIO.hpp"
#include "vantery/cache/CacheFile.hpp"
#include "vantery/cache/CacheLocation.hpp"
#include "vantery/cache/ScanCache.hpp"

namespace vantery {

namespace {

// The device and file number of an open file, or of the file at a path.
std::optional<std::pair<std::uint64_t, std::uint64_t>> identityOf(const struct stat& st) {
    return std::make_pair(static_cast<std::uint64_t>(st.st_dev),
                          static_cast<std::uint64_t>(st.st_ino));
}
std::optional<std::pair<std::uint64_t, std::uint64_t>> identityOf(int fd) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) return std::nullopt;
    return identityOf(st);
}

// Points the blocks that read their keys from an earlier file at the file just written
// (open as `fd`, which the blocks then keep), so that no older version stays held.
void moveKeysTo(const ScanCache::FileTable& table, int fd,
                const std::vector<std::uint32_t>& keyOffsets) {
    if (fd < 0) return;
    std::shared_ptr<const KeySource> source = cacheFileKeys(fd); // closes fd
    if (keyOffsets.empty()) return;
    std::size_t position = 0;
    for (const auto& [path, state] : table) {
        if (!state.block) continue;
        state.block->moveKeys(source, keyOffsets.data() + position);
        position += state.block->size();
    }
}

} // namespace

void ScanCache::save() {
    FileTable table;
    std::shared_ptr<const RequestDictionary> dictionary;
    std::uint64_t version = 0;
    bool keysDistinct = false;
    {
        std::lock_guard g(lock_);
        table = files_;
        dictionary = dictionary_;
        version = tableVersion_;
        keysDistinct = keysDistinct_;
    }
    if (storePath_.empty())
        throw std::system_error(ENOENT, std::generic_category(), "no cache location");
    // Only a cache file written earlier is ever replaced: never a transcript, a link or
    // anything else that happens to sit at the cache's path.
    const fileio::Replacement how{
        cachefile::temporaryPattern(storePath_), [&] { return cachefile::replaceable(storePath_); },
        [&] { cachefile::removeStaleTemporaries(storePath_); }, "a cache file"};
    std::vector<std::uint32_t> keyOffsets;
    int written = -1;
    auto write = [&] {
        fileio::writeAtomically(
            storePath_, how,
            [&](const fileio::Sink& sink) {
                writeCacheFile(table, *dictionary, sink, keysDistinct, &keyOffsets);
            },
            &written);
    };
    FileTable lost;
    try {
        write();
    } catch (const LostKeyTexts&) {
        // The loaded file the keys were left in was cut or rewritten since: the files
        // whose keys are gone are saved as never read, and read again by the next refresh.
        lost = takeFilesWithLostKeys(table);
        write();
    }
    const auto writtenFile = identityOf(written);
    moveKeysTo(table, written, keyOffsets);
    std::lock_guard g(lock_);
    if (!keyOffsets.empty()) keysFile_ = writtenFile;
    if (lost.empty()) {
        fileVersion_ = version;
        return;
    }
    // Dropped here too (unless a refresh replaced them meanwhile), so that this
    // process's next refresh reads them again and its next save keeps them.
    for (const auto& [path, state] : lost)
        if (auto it = files_.find(path); it != files_.end() && it->second.block == state.block)
            files_.erase(it);
    if (tableVersion_ == version) fileVersion_ = version + 1;
    ++tableVersion_;
}

bool ScanCache::load() {
    if (storePath_.empty()) return false;
    cachefile::removeStaleTemporaries(storePath_);
    std::optional<CacheContent> content;
    std::optional<std::pair<std::uint64_t, std::uint64_t>> loaded;
    try {
        // Read in batches; another program may cut or rewrite the file meanwhile, which
        // shows as a short read, a wrong hash or changed times. The blocks hold what they
        // need but their keys' texts, which they read back from the file when saving.
        const int fd = fileio::openRegularFile(storePath_);
        if (fd < 0) return false;
        loaded = identityOf(fd);
        content = readCacheFile(fd, maxCacheFileBytes);
    } catch (const std::bad_alloc&) {
        return false; // a table too large for this machine: the next refresh reads all
    }
    if (!content) return false;
    FileTable old; // freed after the lock is released
    std::shared_ptr<const RequestTable> oldMerged;
    std::lock_guard g(lock_);
    old.swap(files_);
    files_ = std::move(content->files);
    dictionary_ = std::move(content->dictionary);
    keysDistinct_ = content->keysDistinct;
    keysFile_ = loaded;
    oldMerged.swap(merged_);
    mergedFrom_.clear();
    fileVersion_ = ++tableVersion_;
    return true;
}

bool ScanCache::letGoOfReplacedFile() {
    {
        std::lock_guard g(lock_);
        if (!keysFile_ || storePath_.empty()) return false;
        struct stat st {};
        if (::stat(storePath_.c_str(), &st) == 0 && identityOf(st) == keysFile_) return false;
    }
    // What another program saved is as good a start as this table: the refresh that
    // follows brings either up to date. Loading it lets go of the old file at once.
    if (load()) return true;
    std::lock_guard g(lock_);
    keysFile_.reset();
    fileVersion_.reset(); // the next save writes the table and points the keys there
    return true;
}

} // namespace vantery
