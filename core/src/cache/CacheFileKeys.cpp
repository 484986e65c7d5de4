// Key texts read back from a cache file the blocks were loaded from: each is the
// string stored at its offset, a varint length and the bytes, read through a window.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "base/FileIO.hpp"
#include "base/Parallel.hpp"
#include "cache/BinaryCodec.hpp"
#include "cache/CacheFileKeys.hpp"
#include "vantery/cache/CacheFile.hpp"

namespace vantery {
namespace {

// Reads ahead this much, so that keys read in order cost about one read a window; a
// window's first read is small, as a lone key is often all that is asked of it.
constexpr std::size_t windowBytes = std::size_t{1} << 20;
constexpr std::size_t firstWindowBytes = std::size_t{4} << 10;

class CacheFileKeys final : public KeySource {
  public:
    explicit CacheFileKeys(int fd) : fd_(fd) {}
    ~CacheFileKeys() override { ::close(fd_); }
    CacheFileKeys(const CacheFileKeys&) = delete;
    CacheFileKeys& operator=(const CacheFileKeys&) = delete;

    std::string_view text(std::uint32_t at, Window& w) const override {
        std::string_view text;
        if (!within(at, w, text)) {
            fill(w, at, w.bytes.empty() ? firstWindowBytes : windowBytes);
            if (!within(at, w, text)) {
                // Longer than a window: read it whole.
                std::uint64_t length = 0;
                std::size_t used = 0;
                if (!lengthAt(w, at, length, used)) fail(EINVAL);
                // A length past the file's end is not worth the room: the file was
                // rewritten since it was loaded.
                struct stat st {};
                if (::fstat(fd_, &st) != 0 || st.st_size < 0 ||
                    length > static_cast<std::uint64_t>(st.st_size))
                    fail(EIO);
                fill(w, at, used + static_cast<std::size_t>(length));
                if (!within(at, w, text)) fail(EIO);
            }
        }
        return text;
    }

  private:
    [[noreturn]] static void fail(int error) {
        throw std::system_error(error, std::generic_category(),
                                "a request key could not be read back from the cache file");
    }
    // The varint at `at`, when the window holds it whole.
    static bool lengthAt(const Window& w, std::uint64_t at, std::uint64_t& length,
                         std::size_t& used) {
        if (at < w.start || at >= w.start + w.bytes.size()) return false;
        used = decodeVarint(
            std::string_view(w.bytes).substr(static_cast<std::size_t>(at - w.start)), length);
        return used != 0;
    }
    static bool within(std::uint64_t at, const Window& w, std::string_view& text) {
        std::uint64_t length = 0;
        std::size_t used = 0;
        if (!lengthAt(w, at, length, used)) return false;
        const std::size_t from = static_cast<std::size_t>(at - w.start) + used;
        if (length > w.bytes.size() - from) return false;
        text = std::string_view(w.bytes).substr(from, static_cast<std::size_t>(length));
        return true;
    }
    void fill(Window& w, std::uint64_t at, std::size_t size) const {
        w.bytes.resize(size);
        w.start = at;
        // Where the file ends, what is there may still hold the text.
        const long long got = fileio::readAt(fd_, w.bytes.data(), size, at);
        if (got < 0) fail(errno);
        w.bytes.resize(static_cast<std::size_t>(got));
    }

    int fd_;
};

} // namespace

std::shared_ptr<const KeySource> cacheFileKeys(int fd) {
    return std::make_shared<const CacheFileKeys>(fd);
}

std::string_view keyAsItWas(FileBlock::KeyReader& reader, const FileBlock& block, std::size_t i) {
    std::string_view text;
    try {
        text = reader(block, i);
    } catch (const std::system_error&) {
        throw LostKeyTexts();
    }
    // A file cut and written again in place gives bytes back, but not these.
    if (!(KeyPrint::of(text) == block.keyPrint(i))) throw LostKeyTexts();
    return text;
}

ScanCache::FileTable takeFilesWithLostKeys(ScanCache::FileTable& files) {
    std::vector<ScanCache::FileTable::iterator> entries;
    entries.reserve(files.size());
    for (auto it = files.begin(); it != files.end(); ++it)
        entries.push_back(it);
    std::vector<char> lost(entries.size(), 0);
    parallel::forEach(entries.size(), [&](std::size_t e) {
        const FileBlock* block = entries[e]->second.block.get();
        if (!block) return;
        FileBlock::KeyReader reader;
        try {
            for (std::size_t i = 0; i < block->size(); ++i)
                if (block->hasKey(i)) (void)keyAsItWas(reader, *block, i);
        } catch (const LostKeyTexts&) {
            lost[e] = 1;
        }
    });
    ScanCache::FileTable out;
    for (std::size_t e = 0; e < entries.size(); ++e)
        if (lost[e]) out.insert(files.extract(entries[e]));
    return out;
}

} // namespace vantery
