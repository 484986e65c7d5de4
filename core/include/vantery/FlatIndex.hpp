#pragma once
// An open-addressing map from string views to 32-bit values, for the hot loops of
// the cache (string interning, cross-file merging). Far fewer allocations and
// pointer chases than std::unordered_map; the viewed strings must outlive it.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace vantery {

class FlatIndex {
  public:
    explicit FlatIndex(std::size_t expected = 0) { rehash(capacityFor(expected)); }

    static std::size_t hashOf(std::string_view key) noexcept {
        return std::hash<std::string_view>{}(key);
    }

    /// The value of `key`, or inserts `value` for it. Returns the value held and
    /// whether it was inserted.
    std::pair<std::uint32_t, bool> tryEmplace(std::string_view key, std::size_t hash,
                                              std::uint32_t value) {
        if ((size_ + 1) * 2 > slots_.size()) rehash(slots_.size() * 2);
        std::size_t i = hash & mask_;
        for (;; i = (i + 1) & mask_) {
            Slot& s = slots_[i];
            if (!s.used) {
                s = Slot{hash, key, value, true};
                ++size_;
                return {value, true};
            }
            if (s.hash == hash && s.key == key) return {s.value, false};
        }
    }
    std::pair<std::uint32_t, bool> tryEmplace(std::string_view key, std::uint32_t value) {
        return tryEmplace(key, hashOf(key), value);
    }

    /// The value of `key`, if present.
    const std::uint32_t* find(std::string_view key) const {
        const std::size_t hash = hashOf(key);
        for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
            const Slot& s = slots_[i];
            if (!s.used) return nullptr;
            if (s.hash == hash && s.key == key) return &s.value;
        }
    }

    std::size_t size() const noexcept { return size_; }

    /// Calls f(key, value) for every entry, in no particular order.
    template <class F> void forEach(F&& f) const {
        for (const Slot& s : slots_)
            if (s.used) f(s.key, s.value);
    }

  private:
    struct Slot {
        std::size_t hash = 0;
        std::string_view key;
        std::uint32_t value = 0;
        bool used = false;
    };

    static std::size_t capacityFor(std::size_t expected) {
        return std::bit_ceil(std::max<std::size_t>(16, expected * 2));
    }

    void rehash(std::size_t capacity) {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(capacity, Slot{});
        mask_ = capacity - 1;
        for (const Slot& s : old) {
            if (!s.used) continue;
            std::size_t i = s.hash & mask_;
            while (slots_[i].used)
                i = (i + 1) & mask_;
            slots_[i] = s;
        }
    }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t size_ = 0;
};

} // namespace vantery
