#pragma once
// The requests of one transcript file: immutable rows with their keys' prints, shared
// by copies of the cache.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vantery/base/ProbeIndex.hpp"
#include "vantery/model/RequestRow.hpp"

namespace vantery {

/// A request key's 96-bit fingerprint, packed in 12 bytes. Keys are matched on
/// fingerprints alone: two distinct keys among ten million share one with a chance of
/// about 1e-15, also for keys chosen to collide, because the hash is keyed with a secret
/// drawn at random when the process starts. Prints therefore differ from run to run:
/// they are never written to a file, and nothing that is shown or summed may follow
/// their order. The empty key, which never unifies, is 0:0 and no other key is.
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
    // Where each key's text is: its offset in source, or heldFlag | its number among the
    // texts held in keyChars_ (ending at keyEnds_). Replaced whole, never changed.
    struct KeyPlace {
        std::vector<std::uint32_t> keyAt;
        std::shared_ptr<const KeySource> source;
    };

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
        std::uint64_t block_ = 0; // the block whose place is pinned
        std::shared_ptr<const KeyPlace> place_;
    };
    /// One key's text (for tests and small callers; see KeyReader).
    std::string keyText(std::size_t i) const { return std::string(KeyReader()(*this, i)); }

    /// Leaves the texts this block reads from a source in `source` instead, key i at
    /// offsets[i] (offsets holds one per row; held texts stay held). The texts must be
    /// the same: only where they are read changes, so readers on other threads may go on.
    void moveKeys(const std::shared_ptr<const KeySource>& source,
                  const std::uint32_t* offsets) const;
    /// Whether some key's text is read from a source.
    bool readsKeysFromSource() const;

    FileBlock();
    FileBlock(const FileBlock& other);
    FileBlock& operator=(const FileBlock&) = delete;

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

        // What the index reads of the rows added.
        const KeyPrint& keyAt(std::size_t p) const noexcept { return block_->prints_[p]; }
        std::uint64_t hashAt(std::size_t p) const noexcept { return block_->prints_[p].lo; }

      private:
        void push(const KeyPrint& print, std::uint32_t keyAt, const RequestRow& row);
        std::shared_ptr<FileBlock> block_;
        KeyPlace place_;             // the block's, until finish()
        detail::ProbeIndex<> index_; ///< the rows with a key
    };

  private:
    static constexpr std::uint32_t heldFlag = 0x80000000u;
    std::shared_ptr<const KeyPlace> place() const;

    const std::uint64_t id_; // tells blocks apart for the readers that pin their places
    std::vector<RequestRow> rows_;
    std::vector<KeyPrint> prints_;
    std::string keyChars_;
    std::vector<std::uint32_t> keyEnds_;
    mutable std::shared_ptr<const KeyPlace> place_; // guarded by a lock of its own
};

} // namespace vantery
