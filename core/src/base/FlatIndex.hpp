#pragma once
// The core's interning index: string views to 32-bit values, for hot loops (the cache
// file's strings). Keys and values live in insertion order beside a probing index of
// 8 bytes a slot. The viewed strings must outlive it.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "vantery/base/ProbeIndex.hpp"

namespace vantery {

class FlatIndex {
  public:
    explicit FlatIndex(std::size_t expected = 0) : index_(expected) {
        keys_.reserve(expected);
        values_.reserve(expected);
    }

    /// The value held for `key`, or inserts `value` for it. Returns the value held and
    /// whether it was inserted.
    std::pair<std::uint32_t, bool> tryEmplace(std::string_view key, std::uint32_t value) {
        const auto [p, added] = index_.findOrAdd(*this, key, hashOf(key), keys_.size());
        if (!added) return {values_[p], false};
        try {
            values_.push_back(value);
            keys_.push_back(key);
        } catch (...) { // nothing half-added stays indexed
            if (values_.size() > keys_.size()) values_.pop_back();
            index_.dropLast();
            throw;
        }
        return {value, true};
    }

    /// The value of `key`, if present.
    const std::uint32_t* find(std::string_view key) const {
        const auto p = index_.find(*this, key, hashOf(key));
        return p ? &values_[*p] : nullptr;
    }

    std::size_t size() const noexcept { return keys_.size(); }

    // What the index reads of its entries.
    std::string_view keyAt(std::size_t p) const noexcept { return keys_[p]; }
    std::uint64_t hashAt(std::size_t p) const noexcept { return hashOf(keys_[p]); }

  private:
    static std::uint64_t hashOf(std::string_view key) noexcept {
        return std::hash<std::string_view>{}(key);
    }

    detail::ProbeIndex<> index_;
    std::vector<std::string_view> keys_;
    std::vector<std::uint32_t> values_;
};

} // namespace vantery
