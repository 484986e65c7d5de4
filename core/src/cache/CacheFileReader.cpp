// Reading the cache file: read once in order, every entry's fields checked, its records
// bounded and every byte hashed; then, the trailer's hash matched, the records decoded
// into blocks batch by batch on several threads. Bytes are read where they are needed,
// never held whole.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <optional>
#include <stop_token>
#include <system_error>
#include <thread>

#include "base/Parallel.hpp"
#include "cache/CacheFileLayout.hpp"
#include "vantery/base/Text.hpp"
#include "vantery/cache/CacheFile.hpp"

namespace vantery {

namespace {

// Reads `n` bytes of the file at `at` into `out`; false when it gives fewer.
using ReadAt = std::function<bool(std::uint64_t at, char* out, std::size_t n)>;

// Consecutive entries whose records take about this many bytes are decoded together.
constexpr std::size_t batchBytes = std::size_t{16} << 20;

// Reads a batch's bytes in pieces on several threads: copied on one, they took about a
// tenth of a load.
bool readOnThreads(const ReadAt& readAt, std::uint64_t at, char* out, std::size_t n) {
    constexpr std::size_t pieceBytes = std::size_t{2} << 20;
    const std::size_t pieces = (n + pieceBytes - 1) / pieceBytes;
    std::atomic<bool> ok{true};
    parallel::forEach(pieces, [&](std::size_t k) {
        const std::size_t from = k * pieceBytes, size = std::min(pieceBytes, n - from);
        if (!readAt(at + from, out + from, size)) ok = false;
    });
    return ok;
}

// The file from its start to `end`, read once in order in pieces of a batch. Only the
// piece being looked at is held.
class InOrder {
  public:
    InOrder(const ReadAt& readAt, std::uint64_t end) : readAt_(readAt), end_(end) {}

    /// At least `n` bytes from the position on, or all that are left (fewer when the
    /// file gave fewer than it should: then short() is set).
    std::string_view need(std::size_t n) {
        if (held_.size() - at_ < n) refill(n);
        return std::string_view(held_).substr(at_);
    }
    /// Never past what is held: after a short read the caller's view was shorter than
    /// it asked, and the pass is refused at its end (isShort).
    void advance(std::size_t n) { at_ += std::min(n, held_.size() - at_); }
    /// The position, from the file's start.
    std::uint64_t position() const { return start_ + at_; }
    std::uint64_t left() const { return end_ - position(); }
    bool isShort() const { return short_; }
    /// Lets go of the piece held.
    void release() { std::string().swap(held_); }

  private:
    void refill(std::size_t n) {
        held_.erase(0, at_);
        start_ += at_;
        at_ = 0;
        const std::uint64_t from = start_ + held_.size();
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(std::max(n, batchBytes) - held_.size(), end_ - from));
        if (want == 0) return;
        const std::size_t had = held_.size();
        held_.resize(had + want);
        if (!readOnThreads(readAt_, from, held_.data() + had, want)) {
            short_ = true;
            held_.resize(had);
            return;
        }
    }

    const ReadAt& readAt_;
    std::uint64_t end_;
    std::string held_;
    std::uint64_t start_ = 0;
    std::size_t at_ = 0;
    bool short_ = false;
};

// The hash of the file's first `length` bytes, read in pieces of its own; absent when
// the file gives fewer or `stop` is asked for.
std::optional<hash128::Value> hashOf(const ReadAt& readAt, std::uint64_t length,
                                     const std::stop_token& stop) {
    constexpr std::size_t pieceBytes = std::size_t{1} << 20;
    std::string piece(static_cast<std::size_t>(std::min<std::uint64_t>(pieceBytes, length)), '\0');
    hash128::Stream hash;
    for (std::uint64_t at = 0; at < length; at += piece.size()) {
        if (stop.stop_requested()) return std::nullopt;
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(pieceBytes, length - at));
        if (!readAt(at, piece.data(), n)) return std::nullopt;
        hash.add(std::string_view(piece).substr(0, n));
    }
    return hash.finish();
}

// Reads one value from a view with a BinaryReader and moves `in` past it.
template <class Read> auto take(InOrder& in, std::size_t most, Read&& read) {
    BinaryReader r(in.need(most));
    auto value = read(r);
    in.advance(r.offset);
    return value;
}

// Eight bytes at a time: ten million strings are looked at in a load.
bool isAscii(std::string_view s) {
    std::uint64_t high = 0;
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        high |= word;
    }
    for (; i < s.size(); ++i)
        high |= static_cast<unsigned char>(s[i]);
    return (high & 0x8080808080808080ull) == 0;
}

// Where the strings of the table lie and which were repaired; their texts are read
// back where they are needed, from a batch's bytes when they lie there.
struct StringTable {
    std::vector<std::uint32_t> at; // offset of each string's length in the file
    std::unordered_map<std::uint32_t, std::string> repaired;
    std::uint64_t end = 0; // just past the last string
    static constexpr std::uint32_t repairedFlag = BinaryReader::repairedFlag;

    bool isRepaired(std::size_t i) const { return (at[i] & repairedFlag) != 0; }
    std::uint64_t offset(std::size_t i) const { return at[i] & ~repairedFlag; }
    std::uint64_t endOf(std::size_t i) const { return i + 1 < at.size() ? offset(i + 1) : end; }
};

// A varint at the start of `v` as BinaryReader::readUInt reads it, without one: the
// table's lengths are read ten million times. Its byte count, or 0 when it is cut short
// or runs past its tenth byte.
std::size_t varint(std::string_view v, std::uint64_t& value) {
    const auto* p = reinterpret_cast<const unsigned char*>(v.data());
    const std::size_t n = std::min<std::size_t>(v.size(), 10);
    value = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (i == 9) {
            if (p[i] & 0x80) return 0;
            value |= static_cast<std::uint64_t>(p[i] & 0x01) << 63;
            return 10;
        }
        value |= static_cast<std::uint64_t>(p[i] & 0x7F) << (7 * i);
        if ((p[i] & 0x80) == 0) return i + 1;
    }
    return 0;
}

// Reads the string table, noting each string's place; a string whose UTF-8 is invalid
// is repaired and held.
bool readStrings(InOrder& in, StringTable& t) {
    const std::uint64_t count = take(in, 10, [](BinaryReader& r) { return r.readUInt(); });
    if (count > maxCacheStrings) return false;
    // Every string takes at least its one length byte.
    t.at.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, in.left())));
    auto note = [&t](std::uint64_t at, std::string_view raw) {
        if (isAscii(raw) || text::isValidUtf8(raw)) {
            t.at.push_back(static_cast<std::uint32_t>(at));
        } else {
            t.repaired.emplace(static_cast<std::uint32_t>(t.at.size()), text::sanitizeUtf8(raw));
            t.at.push_back(static_cast<std::uint32_t>(at) | StringTable::repairedFlag);
        }
    };
    for (std::uint64_t i = 0; i < count;) {
        // The strings that lie whole in the piece held, in a tight loop.
        const std::string_view held = in.need(10);
        const std::uint64_t heldAt = in.position();
        std::size_t pos = 0;
        while (i < count && held.size() - pos >= 10) {
            std::uint64_t length = 0;
            const std::size_t used = varint(held.substr(pos), length);
            if (used == 0) return false; // ten bytes were there: no varint ends so late
            if (length > held.size() - pos - used) break;
            note(heldAt + pos, held.substr(pos + used, static_cast<std::size_t>(length)));
            pos += used + static_cast<std::size_t>(length);
            ++i;
        }
        in.advance(pos);
        if (pos > 0 || i == count) continue;
        // A string across the end of the piece held, or among the file's last bytes.
        const std::uint64_t at = in.position();
        std::string_view view = held;
        std::uint64_t length = 0;
        const std::size_t used = varint(view, length);
        if (used == 0 || length > in.left() - used) return false;
        const std::size_t whole = used + static_cast<std::size_t>(length);
        if (view.size() < whole) view = in.need(whole);
        if (view.size() < whole) return false;
        note(at, view.substr(used, static_cast<std::size_t>(length)));
        in.advance(whole);
        ++i;
    }
    t.end = in.position();
    return true;
}

// One file entry, checked field by field; its records are decoded afterwards.
struct EntrySpan {
    std::size_t pathString = 0;
    std::string path; // read with the entry's records
    ScanCache::FileState state;
    std::uint64_t recordsAt = 0, recordsEnd = 0;
    std::int64_t recordCount = 0;
};

// Steps over `e`'s records by the fields' shapes alone, noting the strings their keys
// name. On bytes that reading the records accepts it ends exactly where reading them
// would; on others that reading fails, so the bounds found here never let damage through.
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

// The texts of strings, from bytes read for a batch when they lie there, else read on
// their own.
class StringTexts {
  public:
    StringTexts(const StringTable& table, const ReadAt& readAt) : t_(table), readAt_(readAt) {}

    /// Holds the table's bytes from `from` to `to` for the lookups that follow.
    bool hold(std::uint64_t from, std::uint64_t to) {
        bytes_.clear();
        bytes_.shrink_to_fit();
        start_ = from;
        if (to <= from) return true;
        bytes_.resize(static_cast<std::size_t>(to - from));
        return readOnThreads(readAt_, from, bytes_.data(), bytes_.size());
    }
    /// The text of string i, viewing `scratch` when it was read on its own; throws the
    /// reader's Failure when the file no longer gives it.
    std::string_view text(std::size_t i, std::string& scratch) const {
        if (t_.isRepaired(i)) return t_.repaired.at(static_cast<std::uint32_t>(i));
        const std::uint64_t at = t_.offset(i), end = t_.endOf(i);
        if (at >= start_ && end <= start_ + bytes_.size())
            return lengthThenText(std::string_view(bytes_).substr(
                static_cast<std::size_t>(at - start_), static_cast<std::size_t>(end - at)));
        scratch.resize(static_cast<std::size_t>(end - at));
        if (!readAt_(at, scratch.data(), scratch.size()))
            throw BinaryReader::Failure{BinaryReader::DecodeError::truncated};
        return lengthThenText(scratch);
    }

  private:
    // The string stored in `s`: its length, then exactly that many bytes.
    static std::string_view lengthThenText(std::string_view s) {
        std::uint64_t length = 0;
        const std::size_t used = varint(s, length);
        if (used == 0 || length != s.size() - used)
            throw BinaryReader::Failure{BinaryReader::DecodeError::truncated};
        return s.substr(used);
    }

    const StringTable& t_;
    const ReadAt& readAt_;
    std::string bytes_;
    std::uint64_t start_ = 0;
};

// What each string of the table is used for, one word a string, shared by the threads
// that build the blocks. A descriptive field's string remembers the dictionary id of its
// first use (its kind in the top bits), so that the dictionary, behind its lock, is asked
// about a string about once; a key's string remembers the one entry that used it, so that
// the table can tell whether any request sits in two files. Each thread also checks the
// last string of each kind first, as a file's requests mostly repeat a few.
class StringUses {
  public:
    enum Kind : std::uint32_t { model, session, cwd, home, agent, key, kindCount };

    StringUses(const StringTexts& texts, std::size_t strings, RequestDictionary& d)
        : texts_(texts), d_(d), slot_(strings) {}

    /// One block's view: its own last strings in front of the shared ones.
    class Resolver {
      public:
        explicit Resolver(StringUses& uses) : uses_(uses) {}
        std::uint32_t operator()(Kind kind, std::size_t s) {
            Last& last = last_[kind];
            if (last.string != s) last = {s, uses_.resolve(kind, s, scratch_)};
            return last.id;
        }

      private:
        struct Last {
            std::size_t string = SIZE_MAX;
            std::uint32_t id = 0;
        };
        StringUses& uses_;
        Last last_[kindCount];
        std::string scratch_;
    };

    /// Notes that entry `entry` uses string `s` as a key; false when another entry (or
    /// another use) holds it already, or the entry cannot be told apart.
    bool claimKey(std::size_t s, std::size_t entry) {
        const std::uint32_t mine = tagOf(key) | static_cast<std::uint32_t>(entry + 1);
        if (entry + 1 >= (std::size_t{1} << idBits)) return false;
        std::uint32_t held = 0;
        return slot_[s].compare_exchange_strong(held, mine, std::memory_order_relaxed) ||
               held == mine;
    }

  private:
    static constexpr int idBits = 29;
    static_assert(kindCount + 1 <= (1u << (32 - idBits)), "every kind needs its tag");
    static constexpr std::uint32_t tagOf(Kind kind) { return (kind + 1) << idBits; }

    std::uint32_t resolve(Kind kind, std::size_t s, std::string& scratch) {
        const std::uint32_t tag = tagOf(kind);
        std::uint32_t held = slot_[s].load(std::memory_order_relaxed);
        if ((held >> idBits << idBits) == tag) return held & ((1u << idBits) - 1);
        const std::uint32_t id = intern(kind, texts_.text(s, scratch));
        // Threads racing here intern the same text and get the same id.
        if (held == 0 && id < (1u << idBits))
            slot_[s].compare_exchange_strong(held, tag | id, std::memory_order_relaxed);
        return id;
    }
    std::uint32_t intern(Kind kind, std::string_view text) {
        switch (kind) {
        case model:
            return d_.internModel(text);
        case session:
            return d_.internSession(text);
        case cwd:
            return d_.internCwd(text);
        case home:
            return d_.internHome(text);
        case agent:
            return text.empty() ? 0 : d_.internAgent(AgentIdentity::parse(text));
        case key:
        case kindCount:
            break;
        }
        return 0;
    }

    const StringTexts& texts_;
    RequestDictionary& d_;
    std::vector<std::atomic<std::uint32_t>> slot_;
};

// Decodes the file of `fileSize` bytes that `readAt` reads. With `keys`, the blocks
// leave their keys' texts in that file (the same one) at their offsets.
std::optional<CacheContent> decode(const ReadAt& readAt, std::uint64_t fileSize,
                                   const std::shared_ptr<const KeySource>& keys) {
    using cachefile::trailerBytes;
    if (fileSize < cachefile::magic.size() + 2 + trailerBytes) return std::nullopt;
    if (fileSize - trailerBytes > BinaryReader::maxBytes) return std::nullopt;
    const std::uint64_t length = fileSize - trailerBytes;
    {
        char magic[4];
        if (!readAt(0, magic, sizeof magic) ||
            std::string_view(magic, sizeof magic) != cachefile::magic)
            return std::nullopt;
    }
    char tail[trailerBytes];
    if (!readAt(length, tail, trailerBytes)) return std::nullopt;
    const std::string_view trailer(tail, trailerBytes);
    if (cachefile::getLittleEndian(trailer) != length) return std::nullopt;
    const hash128::Value expected{cachefile::getLittleEndian(trailer.substr(8)),
                                  cachefile::getLittleEndian(trailer.substr(16))};

    // Every byte hashed on a thread of its own while the first pass runs beside it.
    std::optional<hash128::Value> actual;
    std::jthread hasher;
    try {
        hasher = std::jthread([&](std::stop_token stop) { actual = hashOf(readAt, length, stop); });
    } catch (const std::system_error&) {
        actual = hashOf(readAt, length, {}); // no thread to be had
    }

    // First pass, in order: the string table's places, every entry's fields checked,
    // its records only bounded.
    InOrder in(readAt, length);
    in.need(cachefile::magic.size());
    in.advance(cachefile::magic.size());
    StringTable table;
    std::vector<EntrySpan> spans;
    try {
        if (take(in, 10, [](BinaryReader& r) { return r.readUInt(); }) != cachefile::version)
            return std::nullopt;
        if (!readStrings(in, table)) return std::nullopt;
        const std::int64_t fileCount = take(in, 10, [](BinaryReader& r) { return r.readInt(); });
        for (std::int64_t f = 0; f < fileCount; ++f) {
            cachefile::EntryFields fields;
            take(in, cachefile::maxEntryBytes(), [&](BinaryReader& r) {
                cachefile::FieldReader read{r, table.at.size()};
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
            spans.push_back(std::move(e));
        }
    } catch (const BinaryReader::Failure&) {
        return std::nullopt;
    }
    // Nothing read is used unless every byte is as it was written.
    in.release();
    if (hasher.joinable()) hasher.join();
    if (!actual || !(*actual == expected) || in.isShort()) return std::nullopt;

    // Second pass, batch by batch on several threads: each file's records checked and
    // its block built, rows in the file's order. Keys are left in the file when it is
    // given (but the repaired ones, whose text is not the file's).
    std::size_t totalRecords = 0;
    for (const EntrySpan& e : spans)
        totalRecords += static_cast<std::size_t>(e.recordCount);
    auto dictionary = std::make_shared<RequestDictionary>();
    const std::size_t strings = table.at.size();
    StringTexts texts(table, readAt);
    StringUses uses(texts, strings, *dictionary);
    std::string batch;
    std::uint64_t batchAt = 0;
    std::atomic<bool> failed{false}, shared{false};
    auto build = [&](std::size_t i) {
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
        // The batch's records, and the strings their paths and keys lie among (in the
        // order a writer meets them, close together), when that span is not far larger.
        batchAt = spans[first].recordsAt;
        batch.resize(static_cast<std::size_t>(spans[last - 1].recordsEnd - batchAt));
        if (!readOnThreads(readAt, batchAt, batch.data(), batch.size())) return std::nullopt;
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
            last - first, [&](std::size_t k) { build(first + k); }, workers);
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

// The size and times by which a change to a file shows. The status change time is set
// by every write and no program can set it back; a link removed sets it too (a save
// renaming its file over this one), which leaves the bytes as they were.
struct Stamp {
    struct stat st {};
    bool same(const Stamp& o) const {
#if defined(__APPLE__)
        const auto& m = st.st_mtimespec;
        const auto& om = o.st.st_mtimespec;
        const auto& c = st.st_ctimespec;
        const auto& oc = o.st.st_ctimespec;
#else
        const auto& m = st.st_mtim;
        const auto& om = o.st.st_mtim;
        const auto& c = st.st_ctim;
        const auto& oc = o.st.st_ctim;
#endif
        const bool unlinked = o.st.st_nlink < st.st_nlink;
        return st.st_size == o.st.st_size && st.st_ino == o.st.st_ino && m.tv_sec == om.tv_sec &&
               m.tv_nsec == om.tv_nsec &&
               (unlinked || (c.tv_sec == oc.tv_sec && c.tv_nsec == oc.tv_nsec));
    }
};

// Reads bytes at an offset in pieces: one read of 85 MB from the page cache took 0.8 s
// here, pieces of 1 MiB 0.03 s.
bool readFullyAt(int fd, char* out, std::size_t size, std::uint64_t offset) {
    constexpr std::size_t pieceBytes = std::size_t{1} << 20;
    std::size_t got = 0;
    while (got < size) {
        const std::size_t want = std::min(pieceBytes, size - got);
        const ssize_t n = ::pread(fd, out + got, want, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::optional<CacheContent> decodeCacheFile(std::string_view bytes) {
    const ReadAt readAt = [&](std::uint64_t at, char* out, std::size_t n) {
        if (at > bytes.size() || n > bytes.size() - at) return false;
        std::memcpy(out, bytes.data() + at, n);
        return true;
    };
    return decode(readAt, bytes.size(), nullptr);
}

std::optional<CacheContent> readCacheFile(int fd, std::uint64_t maxBytes) {
    std::shared_ptr<const KeySource> keys = cacheFileKeys(fd); // closes fd
    Stamp before;
    if (::fstat(fd, &before.st) != 0 || !S_ISREG(before.st.st_mode) || before.st.st_size < 0 ||
        static_cast<std::uint64_t>(before.st.st_size) > maxBytes)
        return std::nullopt;
    const ReadAt readAt = [&](std::uint64_t at, char* out, std::size_t n) {
        return readFullyAt(fd, out, n, at);
    };
    auto content = decode(readAt, static_cast<std::uint64_t>(before.st.st_size), keys);
    // Bytes read after the hash was checked stand only if the file did not change since;
    // a cut shows as a short read, a rewrite in place by its times.
    Stamp after;
    if (!content || ::fstat(fd, &after.st) != 0 || !before.same(after)) return std::nullopt;
    return content;
}

std::string cacheFileTrailer(std::string_view before) {
    hash128::Stream hash;
    hash.add(before);
    return cachefile::trailer(before.size(), hash.finish());
}

} // namespace vantery
