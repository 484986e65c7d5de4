#pragma once
// Requests held once. Each unified request is a 48-byte row whose texts are small ids
// into dictionaries where each text is stored once; rows are grouped per transcript
// file in immutable blocks that copies of the cache share; a RequestTable lists the
// unified requests of a whole reading in one canonical order, pointing into the blocks.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "vantery/model/AgentIdentity.hpp"
#include "vantery/model/UsageRecord.hpp"

namespace vantery {

/// A request's counters at full width.
struct RequestCounts {
    std::int64_t input = 0;
    std::int64_t output = 0;
    std::int64_t cacheWrite5m = 0;
    std::int64_t cacheWrite1h = 0;
    std::int64_t cacheRead = 0;
    std::int64_t webSearch = 0;
    std::int64_t webFetch = 0;

    friend bool operator==(const RequestCounts&, const RequestCounts&) = default;
};

/// One unified request in 48 bytes. The counters that fit are held here; a request with
/// a counter that does not (or any web fetch) is `wide`: its `input` field then holds the
/// position of its full counters in the dictionary and the other four are 0.
struct RequestRow {
    double timestamp = 0; ///< earliest line of the request, seconds since 1970
    std::uint32_t input = 0;
    std::uint32_t output = 0;
    std::uint32_t cacheWrite5m = 0;
    std::uint32_t cacheWrite1h = 0;
    std::uint32_t cacheRead = 0;
    std::uint32_t model = 0;   ///< id of the normalised model id
    std::uint32_t session = 0; ///< id of the session id
    std::uint32_t cwd = 0;     ///< id of the raw working directory
    std::uint32_t agent = 0;   ///< id of the agent; 0 is always the main session
    std::uint16_t webSearch = 0;
    std::uint8_t home = 0; ///< id of the home's name
    std::uint8_t flags = 0;

    static constexpr std::uint8_t assumedFlag = 1; ///< cache-write breakdown assumed
    static constexpr std::uint8_t wideFlag = 2;

    bool cacheWriteBreakdownAssumed() const noexcept { return (flags & assumedFlag) != 0; }
    bool wide() const noexcept { return (flags & wideFlag) != 0; }
};
static_assert(sizeof(RequestRow) == 48);

namespace detail {

// An append-only array whose elements never move: a reader may read any element below
// a size it was handed (through a lock or a published table) while a writer appends.
template <class T> class StableArray {
  public:
    static constexpr std::size_t chunkBits = 12;
    static constexpr std::size_t chunkSize = std::size_t{1} << chunkBits;
    static constexpr std::size_t maxChunks = std::size_t{1} << 14;

    StableArray() = default;
    StableArray(const StableArray&) = delete;
    StableArray& operator=(const StableArray&) = delete;
    ~StableArray() {
        for (auto& c : chunks_)
            delete[] c.load(std::memory_order_relaxed);
    }

    std::size_t size() const noexcept { return size_.load(std::memory_order_acquire); }
    const T& operator[](std::size_t i) const noexcept {
        return chunks_[i >> chunkBits].load(std::memory_order_acquire)[i & (chunkSize - 1)];
    }
    /// Appends; the caller serialises writers. Throws std::length_error when full.
    std::size_t push(T value) {
        const std::size_t i = size_.load(std::memory_order_relaxed);
        const std::size_t c = i >> chunkBits;
        if (c >= maxChunks) throw std::length_error("dictionary full");
        T* chunk = chunks_[c].load(std::memory_order_relaxed);
        if (!chunk) {
            chunk = new T[chunkSize];
            chunks_[c].store(chunk, std::memory_order_release);
        }
        chunk[i & (chunkSize - 1)] = std::move(value);
        size_.store(i + 1, std::memory_order_release);
        return i;
    }

  private:
    std::array<std::atomic<T*>, maxChunks> chunks_{};
    std::atomic<std::size_t> size_{0};
};

} // namespace detail

/// The texts, agents and wide counters that rows refer to, each stored once. Append
/// only: ids stay valid for the dictionary's life. Interning is serialised by a lock;
/// reading an id that a row holds takes no lock and is safe while others intern.
/// Ids are given in the order texts are first interned, which depends on thread timing:
/// nothing may order output by id.
class RequestDictionary {
  public:
    RequestDictionary();
    RequestDictionary(const RequestDictionary&) = delete;
    RequestDictionary& operator=(const RequestDictionary&) = delete;

    std::uint32_t internModel(std::string_view text);
    std::uint32_t internSession(std::string_view text);
    std::uint32_t internCwd(std::string_view text);
    /// Homes are few; more than 255 distinct names throw std::length_error.
    std::uint8_t internHome(std::string_view text);
    /// 0 for the main session.
    std::uint32_t internAgent(const AgentIdentity& agent);
    std::uint32_t internWide(const RequestCounts& counts);

    std::string_view model(std::uint32_t id) const noexcept { return models_.texts[id]; }
    std::string_view session(std::uint32_t id) const noexcept { return sessions_.texts[id]; }
    std::string_view cwd(std::uint32_t id) const noexcept { return cwds_.texts[id]; }
    std::string_view home(std::uint8_t id) const noexcept { return homes_.texts[id]; }
    const AgentIdentity& agent(std::uint32_t id) const noexcept { return agents_[id]; }
    const RequestCounts& wide(std::uint32_t id) const noexcept { return wides_[id]; }

    /// The id of a text already interned; absent otherwise (for filters).
    std::optional<std::uint32_t> findModel(std::string_view text) const;
    std::optional<std::uint32_t> findSession(std::string_view text) const;
    std::optional<std::uint32_t> findCwd(std::string_view text) const;
    std::optional<std::uint32_t> findHome(std::string_view text) const;
    std::optional<std::uint32_t> findAgent(const AgentIdentity& agent) const;

    /// How many ids of each kind exist now; arrays indexed by id are sized by these.
    struct Sizes {
        std::size_t models = 0, sessions = 0, cwds = 0, homes = 0, agents = 0;
    };
    Sizes sizes() const noexcept;

    /// The row of a request, its texts interned. Never fails but by running out of memory.
    RequestRow rowOf(const UsageRecord& record);
    /// Sets a row's counters: in the row when they fit, else interned as wide counters.
    void setCounts(RequestRow& row, const RequestCounts& counts);
    /// Folds another sighting of the same request into a row, within a file and across
    /// files alike: each counter its largest, the time its earliest.
    void fold(RequestRow& row, const RequestCounts& other, double timestamp);
    /// The counters of a row at full width.
    RequestCounts counts(const RequestRow& row) const noexcept {
        if (row.wide()) return wide(row.input);
        return {row.input,     row.output, row.cacheWrite5m, row.cacheWrite1h, row.cacheRead,
                row.webSearch, 0};
    }
    /// The row as a plain record; sourceRank is left at its default.
    UsageRecord record(const RequestRow& row) const;

  private:
    struct Pool {
        detail::StableArray<std::string> texts;
        std::unordered_map<std::string, std::uint32_t> index;
        std::uint32_t intern(std::string_view text);
        std::optional<std::uint32_t> find(std::string_view text) const;
    };
    static std::string agentKey(const AgentIdentity& agent);

    mutable std::mutex lock_;
    Pool models_, sessions_, cwds_, homes_;
    detail::StableArray<AgentIdentity> agents_;
    std::unordered_map<std::string, std::uint32_t> agentIndex_;
    detail::StableArray<RequestCounts> wides_;
};

/// A request key's 96-bit fingerprint, packed in 12 bytes. Keys are matched on
/// fingerprints alone: two distinct keys among ten million share one with a chance of
/// about 1e-15. The empty key, which never unifies, is 0:0 and no other key is.
struct [[gnu::packed]] KeyPrint {
    std::uint64_t lo = 0;
    std::uint32_t hi = 0;

    static KeyPrint of(std::string_view key) noexcept;
    bool empty() const noexcept { return lo == 0 && hi == 0; }
    friend bool operator==(const KeyPrint& a, const KeyPrint& b) noexcept {
        return a.lo == b.lo && a.hi == b.hi;
    }
};
static_assert(sizeof(KeyPrint) == 12);

/// Where the texts of keys a block does not hold live: a file read on demand, whose
/// texts are addressed by offset. Safe to use from several threads, each with its own
/// window.
class KeySource {
  public:
    /// A reader's buffer: the bytes from `start` on.
    struct Window {
        std::string bytes;
        std::uint64_t start = 0;
    };
    virtual ~KeySource() = default;
    /// The text stored at `at`, viewing `window` (valid until its next use). Throws
    /// std::system_error when the text cannot be read back.
    virtual std::string_view text(std::uint32_t at, Window& window) const = 0;
};

/// The requests of one transcript file, unified within the file, in the order each was
/// first met; with their keys ("<message id>:<request id>") for unification across
/// files, refreshes, the cache file and verification. Keys are matched on their
/// fingerprints; their texts, needed only to write the cache file, are held by the block
/// or, for blocks loaded from a cache file, left in that file. Immutable once built.
class FileBlock {
  public:
    std::size_t size() const noexcept { return rows_.size(); }
    bool empty() const noexcept { return rows_.empty(); }
    std::span<const RequestRow> rows() const noexcept { return rows_; }
    const RequestRow& row(std::size_t i) const noexcept { return rows_[i]; }
    const KeyPrint& keyPrint(std::size_t i) const noexcept { return prints_[i]; }
    /// False for the empty key, which never unifies.
    bool hasKey(std::size_t i) const noexcept { return !prints_[i].empty(); }

    /// Reads blocks' key texts, fastest in the order they were stored. One per thread.
    class KeyReader {
      public:
        /// Valid until the next call. Throws std::system_error when the text is in a
        /// file that can no longer give it back.
        std::string_view operator()(const FileBlock& block, std::size_t i);

      private:
        KeySource::Window window_;
    };
    /// One key's text (for tests and small callers; see KeyReader).
    std::string keyText(std::size_t i) const { return std::string(KeyReader()(*this, i)); }

    /// Builds a block row by row.
    class Builder {
      public:
        explicit Builder(std::size_t expected = 0);
        /// Starts from a block's rows (a grown file resumes from what it had).
        explicit Builder(const FileBlock& from);
        /// Adds a request whose key text the block holds.
        void add(std::string_view key, const RequestRow& row);
        /// Adds a request whose key text stays in `source` at `at`; a block has one source.
        void add(const KeyPrint& print, const std::shared_ptr<const KeySource>& source,
                 std::uint32_t at, const RequestRow& row);
        std::size_t size() const noexcept { return block_->rows_.size(); }
        RequestRow& row(std::size_t i) noexcept { return block_->rows_[i]; }
        /// The position of a key added before; absent when new (and for the empty key,
        /// which never unifies).
        std::optional<std::size_t> find(const KeyPrint& print) const;
        std::optional<std::size_t> find(std::string_view key) const {
            return find(KeyPrint::of(key));
        }
        std::shared_ptr<const FileBlock> finish();

      private:
        void push(const KeyPrint& print, std::uint32_t keyAt, const RequestRow& row);
        void grow();
        std::shared_ptr<FileBlock> block_;
        // Open addressing over the keys' prints: (lo >> 32) << 32 | 1 + position.
        std::vector<std::uint64_t> index_;
    };

  private:
    // keyAt_: a key's offset in source_, or heldFlag | its number among the texts held
    // in keyChars_ (ending at keyEnds_).
    static constexpr std::uint32_t heldFlag = 0x80000000u;
    std::vector<RequestRow> rows_;
    std::vector<KeyPrint> prints_;
    std::vector<std::uint32_t> keyAt_;
    std::string keyChars_;
    std::vector<std::uint32_t> keyEnds_;
    std::shared_ptr<const KeySource> source_;
};

/// The unified requests of a reading, in one canonical order: the blocks in the order
/// given (the scan's file list), each block's rows in its own order; a request met in
/// several blocks sits where it is first met, with the cross-file rule applied (the
/// first block's descriptive fields, the largest counters, the earliest time). Points
/// into the blocks it shares; immutable, so safe to read from several threads.
class RequestTable {
  public:
    /// An empty table with a dictionary of its own.
    RequestTable();
    /// What the caller knows of the blocks' keys.
    enum class Keys {
        mayRepeat, ///< a key may be in several blocks: they are unified
        distinct,  ///< no key (but the empty one) is in two blocks: nothing to unify
    };
    /// Unifies `blocks`, in that order; every block's ids refer to `dictionary`.
    /// Requests met in several blocks whose combined counters do not fit a row are
    /// interned in the dictionary as wide counters. With Keys::distinct the rows are
    /// the blocks' rows in order, as unifying would leave them; the caller vouches.
    RequestTable(std::shared_ptr<RequestDictionary> dictionary,
                 std::vector<std::shared_ptr<const FileBlock>> blocks, Keys keys = Keys::mayRepeat);

    /// A table of exactly these records, in this order, each its own request (no
    /// unification), with a dictionary of its own: for tests, fuzzers and small callers.
    static RequestTable fromRecords(std::span<const UsageRecord> records);

    // Rows point into merged_: a copy would point into the original.
    RequestTable(const RequestTable&) = delete;
    RequestTable& operator=(const RequestTable&) = delete;
    RequestTable(RequestTable&&) noexcept = default;
    RequestTable& operator=(RequestTable&&) noexcept = default;

    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    /// The row at a position: a search among the table's runs. Walks use iterators.
    const RequestRow& operator[](std::size_t i) const noexcept;

  private:
    // Rows [start, next run's start) of the table are first[0 ..]: a block's rows kept
    // as they are, or merged rows. runs_ ends with a sentinel starting at size_.
    struct Run {
        const RequestRow* first;
        std::size_t start;
    };

  public:
    /// Iterates rows in canonical order.
    class Iterator {
      public:
        using value_type = RequestRow;
        using difference_type = std::ptrdiff_t;
        Iterator() = default;
        const RequestRow& operator*() const noexcept { return *p_; }
        const RequestRow* operator->() const noexcept { return p_; }
        Iterator& operator++() noexcept {
            if (++p_ == last_) enter(run_ + 1);
            return *this;
        }
        Iterator operator++(int) noexcept {
            Iterator t = *this;
            ++*this;
            return t;
        }
        friend bool operator==(const Iterator& a, const Iterator& b) noexcept {
            return a.p_ == b.p_;
        }

      private:
        friend class RequestTable;
        Iterator(const Run* run, std::size_t offset) noexcept {
            enter(run);
            if (p_) p_ += offset;
        }
        void enter(const Run* run) noexcept {
            run_ = run;
            if (run->first == nullptr) { // the sentinel: the end
                p_ = last_ = nullptr;
                return;
            }
            p_ = run->first;
            last_ = p_ + (run[1].start - run->start);
        }
        const Run* run_ = nullptr;
        const RequestRow* p_ = nullptr;
        const RequestRow* last_ = nullptr;
    };
    Iterator begin() const noexcept {
        return runs_.empty() ? Iterator() : Iterator(runs_.data(), 0);
    }
    Iterator end() const noexcept { return Iterator(); }
    /// An iterator at position i (i < size()).
    Iterator at(std::size_t i) const noexcept;

    const RequestDictionary& dictionary() const noexcept { return *dictionary_; }
    const std::shared_ptr<const RequestDictionary>& sharedDictionary() const noexcept {
        return dictionary_;
    }
    /// The blocks the table was built from, in order.
    const std::vector<std::shared_ptr<const FileBlock>>& blocks() const noexcept { return blocks_; }
    /// The dictionary's sizes when the table was built: every id in the table is below.
    const RequestDictionary::Sizes& sizes() const noexcept { return sizes_; }

    std::string_view model(const RequestRow& r) const noexcept {
        return dictionary_->model(r.model);
    }
    std::string_view sessionId(const RequestRow& r) const noexcept {
        return dictionary_->session(r.session);
    }
    std::string_view rawCwd(const RequestRow& r) const noexcept { return dictionary_->cwd(r.cwd); }
    std::string_view sourceHome(const RequestRow& r) const noexcept {
        return dictionary_->home(r.home);
    }
    const AgentIdentity& agent(const RequestRow& r) const noexcept {
        return dictionary_->agent(r.agent);
    }
    RequestCounts counts(const RequestRow& r) const noexcept { return dictionary_->counts(r); }
    /// The row as a plain record (sourceRank at its default).
    UsageRecord record(const RequestRow& r) const { return dictionary_->record(r); }
    /// Every row as plain records, in canonical order.
    std::vector<UsageRecord> records() const;

  private:
    std::shared_ptr<const RequestDictionary> dictionary_;
    std::vector<std::shared_ptr<const FileBlock>> blocks_;
    std::vector<RequestRow> merged_; ///< rows of requests met in several blocks, in table order
    // The rows as runs of consecutive rows: a block kept whole is one run, so a table of
    // ten million rows from a few thousand files lists a few thousand runs, not a pointer
    // a row.
    std::vector<Run> runs_;
    std::size_t size_ = 0;
    void addRow(const RequestRow* row);
    void closeRuns();
    RequestDictionary::Sizes sizes_;
};

} // namespace vantery
