#pragma once
// The core's one private interning index: an open-addressing map from string views
// to 32-bit values for hot loops (the cache file's strings, the report's texts). Its
// probe table holds 8 bytes per slot, so that large tables stay cache-friendly; keys
// and values live in insertion order beside it. The viewed strings must outlive it.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace vantery {

class FlatIndex {
  public:
    explicit FlatIndex(std::size_t expected = 0) {
        keys_.reserve(expected);
        values_.reserve(expected);
        rehash(capacityFor(expected));
    }

    static std::size_t hashOf(std::string_view key) noexcept {
        return std::hash<std::string_view>{}(key);
    }

    /// The value held for `key` (whose hashOf is `hash`), or inserts `value` for it.
    /// Returns the value held and whether it was inserted.
    std::pair<std::uint32_t, bool> tryEmplace(std::string_view key, std::size_t hash,
                                              std::uint32_t value) {
        if ((keys_.size() + 1) * 2 > slots_.size()) rehash(slots_.size() * 2);
        const std::uint32_t h = fold(hash);
        for (std::size_t i = h & mask_;; i = (i + 1) & mask_) {
            Slot& s = slots_[i];
            if (s.position == 0) {
                keys_.push_back(key);
                values_.push_back(value);
                s = Slot{h, static_cast<std::uint32_t>(keys_.size())};
                return {value, true};
            }
            if (s.hash == h && keys_[s.position - 1] == key)
                return {values_[s.position - 1], false};
        }
    }
    std::pair<std::uint32_t, bool> tryEmplace(std::string_view key, std::uint32_t value) {
        return tryEmplace(key, hashOf(key), value);
    }

    /// The value of `key`, if present.
    const std::uint32_t* find(std::string_view key) const {
        const std::uint32_t h = fold(hashOf(key));
        for (std::size_t i = h & mask_;; i = (i + 1) & mask_) {
            const Slot& s = slots_[i];
            if (s.position == 0) return nullptr;
            if (s.hash == h && keys_[s.position - 1] == key) return &values_[s.position - 1];
        }
    }

    std::size_t size() const noexcept { return keys_.size(); }

    /// Calls f(key, value) for every entry, in insertion order.
    template <class F> void forEach(F&& f) const {
        for (std::size_t i = 0; i < keys_.size(); ++i)
            f(keys_[i], values_[i]);
    }

  private:
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t position = 0; ///< 1 + the entry's position; 0 for an empty slot
    };

    static std::uint32_t fold(std::size_t h) noexcept {
        return static_cast<std::uint32_t>(h ^ (static_cast<std::uint64_t>(h) >> 32));
    }
    static std::size_t capacityFor(std::size_t expected) {
        return std::bit_ceil(std::max<std::size_t>(16, expected * 2));
    }

    void rehash(std::size_t capacity) {
        slots_.assign(capacity, Slot{});
        mask_ = capacity - 1;
        for (std::size_t p = 0; p < keys_.size(); ++p) {
            const std::uint32_t h = fold(hashOf(keys_[p]));
            std::size_t i = h & mask_;
            while (slots_[i].position != 0)
                i = (i + 1) & mask_;
            slots_[i] = Slot{h, static_cast<std::uint32_t>(p + 1)};
        }
    }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::vector<std::string_view> keys_;
    std::vector<std::uint32_t> values_;
};

} // namespace vantery
