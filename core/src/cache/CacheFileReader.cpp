// Reading the cache file: every piece hashed and the trailer matched before anything
// is decoded; then a first pass in order, every entry's fields checked and its records
// bounded; then the records decoded into blocks batch by batch on several threads.
// Every byte decoded is checked against its piece's hash as it is read, so that a file
// rewritten meanwhile is refused, not half taken. Bytes are read where they are needed,
// never held whole.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "base/FileIO.hpp"
#include "base/Parallel.hpp"
#include "cache/CacheFileLayout.hpp"
#include "cache/CacheFilePieces.hpp"
#include "cache/CacheFileReader.hpp"
#include "cache/CacheFileStrings.hpp"
#include "vantery/cache/CacheFile.hpp"

namespace vantery {

namespace {

using cachefile::CheckedFile;
using cachefile::InOrder;
using cachefile::StringTable;
using cachefile::StringTexts;
using cachefile::StringUses;

// Consecutive entries whose records take about this many bytes are decoded together,
// and the first pass reads as much at a time: below the allocator's mapping threshold,
// so that each buffer is a block of the heap used again, not pages faulted anew, and
// large enough to be read and checked on several threads.
constexpr std::size_t batchBytes = std::size_t{4} << 20;

// Reads one value from a view with a BinaryReader and moves `in` past it.
template <class Read> auto take(InOrder& in, std::size_t most, Read&& read) {
    BinaryReader r(in.need(most));
    auto value = read(r);
    in.advance(r.offset);
    return value;
}

// One file entry, checked field by field; its records are decoded afterwards.
struct EntrySpan {
    std::size_t pathString = 0;
    std::string path; // read with the entry's records
    ScanCache::FileState state;
    std::uint64_t recordsAt = 0, recordsEnd = 0;
    std::int64_t recordCount = 0;
};

// What the first pass finds: where the strings lie and where each entry's records do.
struct Outline {
    StringTable table;
    std::vector<EntrySpan> spans;
};

// Steps over `e`'s records by the fields' shapes alone. On bytes that reading the
// records accepts it ends exactly where reading them would; on others that reading
// fails, so the bounds found here never let damage through.
bool skipRecords(InOrder& in, EntrySpan& e) {
    constexpr std::size_t most = cachefile::maxRecordBytes();
    if (static_cast<std::uint64_t>(e.recordCount) > in.left() / cachefile::minRecordBytes())
        return false;
    const cachefile::RecordFields shape;
    for (std::int64_t k = 0; k < e.recordCount;) {
        const std::string_view view = in.need(most);
        const auto* p = reinterpret_cast<const unsigned char*>(view.data());
        cachefile::FieldSkipper skip{p, 0, view.size()};
        // As many whole records as the view surely holds; the last ones of the file
        // may be fewer bytes than the most a record can take.
        const std::size_t sure = view.size() >= most ? view.size() - most : 0;
        do {
            cachefile::eachRecordField(shape, skip);
            skip.settle();
            if (!skip.ok) return false;
            ++k;
        } while (k < e.recordCount && skip.at <= sure);
        in.advance(skip.at);
    }
    return true;
}

// The first pass, in order: the string table's places, every entry's fields checked,
// its records only bounded. The entries end exactly where the trailer begins.
std::optional<Outline> outline(const CheckedFile& file) {
    InOrder in(file, batchBytes);
    Outline out;
    try {
        if (in.need(cachefile::magic.size()).substr(0, cachefile::magic.size()) != cachefile::magic)
            return std::nullopt;
        in.advance(cachefile::magic.size());
        if (take(in, 10, [](BinaryReader& r) { return r.readUInt(); }) != cachefile::version)
            return std::nullopt;
        if (!cachefile::readStrings(in, out.table)) return std::nullopt;
        const std::int64_t fileCount = take(in, 10, [](BinaryReader& r) { return r.readInt(); });
        for (std::int64_t f = 0; f < fileCount; ++f) {
            cachefile::EntryFields fields;
            take(in, cachefile::maxEntryBytes(), [&](BinaryReader& r) {
                cachefile::FieldReader read{r, out.table.at.size()};
                cachefile::eachEntryField(fields, read);
                return 0;
            });
            EntrySpan e;
            e.pathString = static_cast<std::size_t>(fields.path);
            e.state.size = fields.size;
            e.state.mtime = fields.mtime;
            e.state.inode = fields.inode;
            e.state.consumed = fields.consumed;
            e.state.diag = fields.diag;
            e.recordCount = fields.recordCount;
            e.recordsAt = in.position();
            if (!skipRecords(in, e)) return std::nullopt;
            e.recordsEnd = in.position();
            out.spans.push_back(std::move(e));
        }
    } catch (const BinaryReader::Failure&) {
        return std::nullopt;
    }
    if (in.failed() || in.left() != 0) return std::nullopt;
    return out;
}

// The second pass, batch by batch on several threads: each file's records checked and
// its block built, rows in the file's order. Keys are left in the file when `keys` is
// given (but the repaired ones, whose text is not the file's).
std::optional<CacheContent> build(const CheckedFile& file, Outline& o,
                                  const std::shared_ptr<const KeySource>& keys) {
    std::vector<EntrySpan>& spans = o.spans;
    const StringTable& table = o.table;
    std::size_t totalRecords = 0;
    for (const EntrySpan& e : spans)
        totalRecords += static_cast<std::size_t>(e.recordCount);
    auto dictionary = std::make_shared<RequestDictionary>();
    const std::size_t strings = table.at.size();
    StringTexts texts(table, file);
    StringUses uses(texts, strings, *dictionary);
    std::string batch;
    std::uint64_t batchAt = 0;
    std::atomic<bool> failed{false}, shared{false};
    auto buildOne = [&](std::size_t i) {
        if (failed.load(std::memory_order_relaxed)) return;
        EntrySpan& e = spans[i];
        BinaryReader rr(
            std::string_view(batch).substr(static_cast<std::size_t>(e.recordsAt - batchAt),
                                           static_cast<std::size_t>(e.recordsEnd - e.recordsAt)));
        StringUses::Resolver field(uses);
        FileBlock::Builder block(static_cast<std::size_t>(e.recordCount));
        bool keysShared = false;
        cachefile::FieldReader in{rr, strings};
        std::string scratch;
        try {
            e.path = std::string(texts.text(e.pathString, scratch));
            for (std::int64_t k = 0; k < e.recordCount; ++k) {
                cachefile::RecordFields f;
                cachefile::eachRecordField(f, in);
                RequestRow row;
                row.timestamp = f.timestamp;
                row.model = field(StringUses::model, f.model);
                row.session = field(StringUses::session, f.session);
                row.cwd = field(StringUses::cwd, f.cwd);
                row.home = static_cast<std::uint8_t>(field(StringUses::home, f.home));
                row.agent = field(StringUses::agent, f.agent);
                if (f.assumed) row.flags |= RequestRow::assumedFlag;
                dictionary->setCounts(row, f.counts);
                const std::string_view key = texts.text(f.key, scratch);
                const KeyPrint print = KeyPrint::of(key);
                const bool repaired = table.isRepaired(f.key);
                // A repaired key may equal another repaired differently.
                if (!key.empty() && !keysShared && (repaired || !uses.claimKey(f.key, i)))
                    keysShared = true;
                // A key written twice in one entry: the later one stands, where the
                // first was.
                if (auto at = block.find(print))
                    block.row(*at) = row;
                else if (keys && !key.empty() && !repaired)
                    block.add(print, keys, static_cast<std::uint32_t>(table.offset(f.key)), row);
                else
                    block.add(key, row);
            }
            if (rr.remaining() != 0)
                throw BinaryReader::Failure{BinaryReader::DecodeError::truncated};
        } catch (const BinaryReader::Failure&) {
            failed = true;
            return;
        } catch (const std::length_error&) {
            failed = true; // more homes than a row can name
            return;
        }
        if (keysShared) shared = true;
        e.state.block = block.finish();
    };
    const std::size_t workers = totalRecords < 8192 ? 1 : SIZE_MAX;
    for (std::size_t first = 0; first < spans.size() && !failed;) {
        std::size_t last = first + 1;
        while (last < spans.size() &&
               spans[last - 1].recordsEnd - spans[first].recordsAt < batchBytes)
            ++last;
        // The batch's records, widened to whole pieces, and the strings their paths and
        // keys lie among (in the order a writer meets them, close together), when that
        // span is not far larger.
        batchAt = CheckedFile::pieceStart(spans[first].recordsAt);
        const std::uint64_t batchEnd = file.pieceEnd(spans[last - 1].recordsEnd);
        batch.resize(static_cast<std::size_t>(batchEnd - batchAt));
        if (!file.read(batchAt, batchEnd, batch.data())) return std::nullopt;
        std::uint64_t low = strings, high = 0;
        // A writer meets an entry's path, then the strings of its records, so the texts
        // a batch first uses lie up to the next entry's path; a file written in another
        // order only reads more of them on their own.
        for (std::size_t i = first; i <= last && i < spans.size(); ++i) {
            low = std::min<std::uint64_t>(low, spans[i].pathString);
            high = std::max<std::uint64_t>(high, spans[i].pathString);
        }
        if (last == spans.size()) high = strings - 1;
        const bool near = high < strings && table.endOf(high) - table.offset(low) <= 4 * batchBytes;
        if (!texts.hold(near ? table.offset(low) : 0, near ? table.endOf(high) : 0))
            return std::nullopt;
        parallel::forEach(
            last - first, [&](std::size_t k) { buildOne(first + k); }, workers);
        first = last;
    }
    if (failed) return std::nullopt;

    CacheContent out;
    out.dictionary = std::move(dictionary);
    out.keysDistinct = !shared;
    for (EntrySpan& e : spans)
        out.files.insert_or_assign(std::move(e.path), std::move(e.state));
    return out;
}

} // namespace

std::optional<CacheContent> decodeCacheFileAt(const cachefile::ReadAt& readAt,
                                              std::uint64_t fileSize,
                                              const std::shared_ptr<const KeySource>& keys) {
    using cachefile::trailerBytes;
    if (fileSize < cachefile::magic.size() + 2 + trailerBytes) return std::nullopt;
    const std::uint64_t length = fileSize - trailerBytes;
    if (length > cachefile::maxFileBytes) return std::nullopt;
    char tail[trailerBytes];
    if (!readAt(length, tail, trailerBytes)) return std::nullopt;
    const std::string_view trailer(tail, trailerBytes);
    if (getLittleEndian(trailer) != length) return std::nullopt;
    const hash128::Value expected{getLittleEndian(trailer.substr(8)),
                                  getLittleEndian(trailer.substr(16))};
    // Nothing the bytes claim is believed, nor room made for it, before they match.
    CheckedFile file(readAt, length);
    if (!file.matches(expected)) return std::nullopt;
    std::optional<Outline> o = outline(file);
    if (!o) return std::nullopt;
    return build(file, *o, keys);
}

std::optional<CacheContent> decodeCacheFile(std::string_view bytes) {
    const cachefile::ReadAt readAt = [&](std::uint64_t at, char* out, std::size_t n) {
        if (at > bytes.size() || n > bytes.size() - at) return false;
        std::memcpy(out, bytes.data() + at, n);
        return true;
    };
    return decodeCacheFileAt(readAt, bytes.size(), nullptr);
}

std::optional<CacheContent> readCacheFile(int fd, std::uint64_t maxBytes) {
    std::shared_ptr<const KeySource> keys = cacheFileKeys(fd); // closes fd
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<std::uint64_t>(st.st_size) > maxBytes)
        return std::nullopt;
    // A file cut or written meanwhile shows as a short read or a piece that no longer
    // matches its hash: no time or link count is trusted.
    const cachefile::ReadAt readAt = [&](std::uint64_t at, char* out, std::size_t n) {
        return fileio::readAt(fd, out, n, at) == static_cast<long long>(n);
    };
    return decodeCacheFileAt(readAt, static_cast<std::uint64_t>(st.st_size), keys);
}

std::string cacheFileTrailer(std::string_view before) {
    cachefile::PieceHash hash;
    hash.add(before);
    return cachefile::trailer(before.size(), hash.finish());
}

} // namespace vantery
