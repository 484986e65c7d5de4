#pragma once
// The requests of one file as its reading meets them: a key and its record each, in
// insertion order, found again through a probing index of 8 bytes a slot. Looking a
// request up touches one slot and, on a match, the request. Each key's hash is kept
// beside, so that growing the index hashes no key again.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "vantery/base/ProbeIndex.hpp"
#include "vantery/ingest/Scanner.hpp"
#include "vantery/model/UsageRecord.hpp"

namespace vantery::detail {

class RecordTable {
  public:
    struct Entry {
        std::string key;
        UsageRecord record;
    };

    /// The hash RequestMap gives the same key.
    static std::size_t hashOf(std::string_view key) noexcept {
        return std::hash<std::string_view>{}(key);
    }

    explicit RecordTable(std::size_t expected = 0) : index_(expected) { hashes_.reserve(expected); }

    /// The entry of `key`, added with a default record when missing; `added` tells which.
    /// Entries never move while the table lives.
    Entry& findOrAdd(std::string_view key, bool& added) {
        const std::size_t h = hashOf(key);
        const auto [p, isNew] = index_.findOrAdd(*this, key, h, size());
        added = isNew;
        if (!isNew) return entries_[p];
        try {
            hashes_.push_back(h);
            entries_.push_back({std::string(key), {}});
        } catch (...) {
            if (hashes_.size() > entries_.size()) hashes_.pop_back();
            index_.dropLast();
            throw;
        }
        return entries_.back();
    }

    /// Takes back the entry the last findOrAdd added.
    void dropLast() {
        index_.dropLast();
        entries_.pop_back();
        hashes_.pop_back();
    }

    std::size_t size() const noexcept { return entries_.size(); }
    Entry& at(std::size_t i) { return entries_[i]; }
    std::size_t hashAt(std::size_t i) const { return hashes_[i]; }
    const std::string& keyAt(std::size_t i) const { return entries_[i].key; }

  private:
    std::deque<Entry> entries_; ///< a deque: a record's address survives growth
    std::vector<std::size_t> hashes_;
    ProbeIndex<> index_;
};

/// Scanner::ingest into a file's table; the same outcome as into a RequestMap.
void ingest(std::string_view line, const std::string& path, const std::string& home,
            std::int64_t rank, RecordTable& into, ScanDiagnostics& diag,
            Scanner::LastRequest& last);

} // namespace vantery::detail
