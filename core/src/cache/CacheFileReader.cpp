// Reading the cache file: every entry's fields checked and its records bounded in one
// serial pass, then the records decoded into blocks batch by batch on several threads.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>

#include "base/Parallel.hpp"
#include "cache/CacheFileLayout.hpp"
#include "vantery/cache/CacheFile.hpp"

namespace vantery {

namespace {

// One file entry, checked field by field; its records are decoded afterwards.
struct EntrySpan {
    // Copied in the first pass: read at the end, after the file's pages were let go,
    // 20,000 paths spread over the string table bring most of it back through readahead.
    std::string path;
    ScanCache::FileState state;
    std::size_t recordsAt = 0;
    std::int64_t recordCount = 0;
};

// The end of `count` records from `at`, found by the fields' shapes alone; npos when
// the bytes end first. On bytes that reading the records accepts it ends exactly where
// reading them would; on others that reading fails, so the bounds found here never let a
// damaged file through.
std::size_t skipRecords(std::string_view bytes, std::size_t at, std::uint64_t count) {
    constexpr std::size_t npos = std::string_view::npos;
    constexpr std::uint64_t minRecordBytes = cachefile::minRecordBytes();
    if (at > bytes.size() || count > (bytes.size() - at) / minRecordBytes) return npos;
    cachefile::FieldSkipper skip{reinterpret_cast<const unsigned char*>(bytes.data()), at,
                                 bytes.size()};
    const cachefile::RecordFields shape;
    for (std::uint64_t i = 0; i < count && skip.ok; ++i)
        cachefile::eachRecordField(shape, skip);
    return skip.ok ? skip.at : npos;
}

// What each string of the table is used for, one word a string, shared by the threads
// that build the blocks. A descriptive field's string remembers the dictionary id of its
// first use (its kind in the top bits), so that the dictionary, behind its lock, is asked
// about a string about once; a key's string remembers the one entry that used it, so that
// the table can tell whether any request sits in two files. Each thread also checks the
// last string of each kind first, as a file's requests mostly repeat a few.
class StringUses {
  public:
    enum Kind : std::uint32_t { model, session, cwd, home, agent, key };

    StringUses(const BinaryReader& strings, RequestDictionary& d)
        : strings_(strings), d_(d), slot_(strings.stringAt.size()) {}

    /// One block's view: its own last strings in front of the shared ones.
    class Resolver {
      public:
        explicit Resolver(StringUses& uses) : uses_(uses) {}
        std::uint32_t operator()(Kind kind, std::size_t s) {
            Last& last = last_[kind];
            if (last.string != s) last = {s, uses_.resolve(kind, s)};
            return last.id;
        }

      private:
        struct Last {
            std::size_t string = SIZE_MAX;
            std::uint32_t id = 0;
        };
        StringUses& uses_;
        Last last_[5];
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
    static constexpr std::uint32_t tagOf(Kind kind) { return (kind + 1) << idBits; }

    std::uint32_t resolve(Kind kind, std::size_t s) {
        const std::uint32_t tag = tagOf(kind);
        std::uint32_t held = slot_[s].load(std::memory_order_relaxed);
        if ((held >> idBits << idBits) == tag) return held & ((1u << idBits) - 1);
        const std::uint32_t id = intern(kind, strings_.string(s));
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
            break;
        }
        return 0;
    }

    const BinaryReader& strings_;
    RequestDictionary& d_;
    std::vector<std::atomic<std::uint32_t>> slot_;
};

// Consecutive entries whose records take about this many bytes are decoded together,
// and the mapped pages they touched let go before the next ones.
constexpr std::size_t batchBytes = std::size_t{32} << 20;

} // namespace

std::optional<CacheContent> decodeCacheFile(std::string_view bytes, const CacheFileSource* source) {
    if (bytes.size() < 6 || bytes.substr(0, 4) != cachefile::magic) return std::nullopt;
    constexpr std::size_t bodyAt = 4; // the body's offset in the file: after the magic
    BinaryReader r(bytes.substr(bodyAt));
    auto release = [&] {
        if (source && source->release) source->release();
    };
    std::vector<EntrySpan> spans;
    std::vector<std::size_t> ends; // where each entry's records end
    try {
        if (r.readUInt() != cachefile::version) return std::nullopt;
        r.readStringTable();
        release();

        // First pass, serial: every entry's fields checked, its records only bounded.
        const std::int64_t fileCount = r.readInt();
        cachefile::FieldReader in{r, r.stringAt.size()};
        for (std::int64_t f = 0; f < fileCount; ++f) {
            cachefile::EntryFields fields;
            cachefile::eachEntryField(fields, in);
            EntrySpan e;
            e.path = r.string(static_cast<std::size_t>(fields.path));
            e.state.size = fields.size;
            e.state.mtime = fields.mtime;
            e.state.inode = fields.inode;
            e.state.consumed = fields.consumed;
            e.state.diag = fields.diag;
            e.recordCount = fields.recordCount;
            e.recordsAt = r.offset;
            r.offset = skipRecords(r.bytes, r.offset, static_cast<std::uint64_t>(e.recordCount));
            if (r.offset == std::string_view::npos) return std::nullopt;
            ends.push_back(r.offset);
            spans.push_back(std::move(e));
        }
    } catch (const BinaryReader::Failure&) {
        return std::nullopt;
    }
    release();

    // Second pass, batch by batch on several threads: each file's records checked and
    // its block built, rows in the file's order. Keys are left in the source when there
    // is one (but the repaired ones, whose text is not the file's).
    std::size_t totalRecords = 0;
    for (const EntrySpan& e : spans)
        totalRecords += static_cast<std::size_t>(e.recordCount);
    auto dictionary = std::make_shared<RequestDictionary>();
    const std::size_t strings = r.stringAt.size();
    StringUses uses(r, *dictionary);
    std::atomic<bool> failed{false}, shared{false};
    auto build = [&](std::size_t i) {
        if (failed.load(std::memory_order_relaxed)) return;
        EntrySpan& e = spans[i];
        BinaryReader rr(r.bytes);
        rr.offset = e.recordsAt;
        StringUses::Resolver field(uses);
        FileBlock::Builder block(static_cast<std::size_t>(e.recordCount));
        bool keysShared = false;
        cachefile::FieldReader in{rr, strings};
        try {
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
                const std::string_view key = r.string(f.key);
                const KeyPrint print = KeyPrint::of(key);
                // A repaired key may equal another repaired differently.
                if (!key.empty() && !keysShared &&
                    (r.isRepaired(f.key) || !uses.claimKey(f.key, i)))
                    keysShared = true;
                // A key written twice in one entry: the later one stands, where the
                // first was.
                if (auto at = block.find(print))
                    block.row(*at) = row;
                else if (source && source->keys && !key.empty() && !r.isRepaired(f.key))
                    block.add(print, source->keys,
                              static_cast<std::uint32_t>(bodyAt + (r.stringAt[f.key])), row);
                else
                    block.add(key, row);
            }
            if (rr.offset != ends[i])
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
        while (last < spans.size() && ends[last - 1] - spans[first].recordsAt < batchBytes)
            ++last;
        parallel::forEach(
            last - first, [&](std::size_t k) { build(first + k); }, workers);
        release();
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

} // namespace vantery
