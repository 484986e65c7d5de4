#pragma once
// The unified requests of a whole reading in one canonical order, pointing into the
// blocks of its files; their texts live in a RequestDictionary.
#include <cstddef>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "vantery/model/FileBlock.hpp"
#include "vantery/model/RequestDictionary.hpp"

namespace vantery {

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
