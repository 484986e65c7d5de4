#pragma once
// The core's one probing index: open addressing over positions in a list its owner
// keeps. A slot is 8 bytes, the upper 32 bits of an entry's hash beside 1 + its
// position, so that a large index stays cache-friendly and a probe looks at an entry
// only when those bits match. Lookups take the owner's `entries`, which give
// `keyAt(position)` (compared with ==) and `hashAt(position)` (64 bits; the low bits
// pick the slot, the high bits are kept). The index keeps no reference to its owner,
// so the owner stays free to move.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace vantery::detail {

/// At most MaxLoadQuarters / 4 of the slots are used before the index doubles.
/// Positions stay below 2^32 - 1.
template <unsigned MaxLoadQuarters = 2> class ProbeIndex {
    static_assert(MaxLoadQuarters >= 1 && MaxLoadQuarters <= 3);

  public:
    /// Sized so that `expected` entries fit without growing, with room to spare: a
    /// half-full index holds them at half, a three-quarter one at two thirds.
    explicit ProbeIndex(std::size_t expected = 0)
        : slots_(std::bit_ceil(
              std::max<std::size_t>(16, expected + expected * (4 - MaxLoadQuarters) / 2))),
          mask_(slots_.size() - 1) {}

    /// The position of the entry whose key equals `key`, if indexed.
    template <class Entries, class Key>
    std::optional<std::size_t> find(const Entries& entries, const Key& key,
                                    std::uint64_t hash) const {
        const std::size_t i = probe(entries, key, hash);
        if (slots_[i] == 0) return std::nullopt;
        return positionIn(slots_[i]);
    }

    /// The position held for `key`, or `position`, now indexed, when it is new; with
    /// whether it was added.
    template <class Entries, class Key>
    std::pair<std::size_t, bool> findOrAdd(const Entries& entries, const Key& key,
                                           std::uint64_t hash, std::size_t position) {
        if ((used_ + 1) * 4 > slots_.size() * MaxLoadQuarters) grow(entries);
        const std::size_t i = probe(entries, key, hash);
        if (slots_[i] != 0) return {positionIn(slots_[i]), false};
        fill(i, hash, position);
        return {position, true};
    }

    /// Indexes a position whose key the caller knows to be absent.
    template <class Entries>
    void add(const Entries& entries, std::uint64_t hash, std::size_t position) {
        if ((used_ + 1) * 4 > slots_.size() * MaxLoadQuarters) grow(entries);
        fill(freeSlot(hash), hash, position);
    }

    /// Takes back the last position added; nothing may have been added since.
    void dropLast() noexcept {
        slots_[lastSlot_] = 0;
        --used_;
    }

    std::size_t size() const noexcept { return used_; }

  private:
    static constexpr std::uint64_t highBits = ~std::uint64_t{0xffffffff};
    static std::size_t positionIn(std::uint64_t slot) noexcept {
        return static_cast<std::size_t>(slot & 0xffffffffu) - 1;
    }

    // The slot holding the key, or the empty slot where it would go.
    template <class Entries, class Key>
    std::size_t probe(const Entries& entries, const Key& key, std::uint64_t hash) const {
        std::size_t i = hash & mask_;
        for (; slots_[i] != 0; i = (i + 1) & mask_)
            if ((slots_[i] & highBits) == (hash & highBits) &&
                entries.keyAt(positionIn(slots_[i])) == key)
                break;
        return i;
    }
    std::size_t freeSlot(std::uint64_t hash) const noexcept {
        std::size_t i = hash & mask_;
        while (slots_[i] != 0)
            i = (i + 1) & mask_;
        return i;
    }
    void fill(std::size_t i, std::uint64_t hash, std::size_t position) noexcept {
        slots_[i] = (hash & highBits) | (position + 1);
        lastSlot_ = i;
        ++used_;
    }

    template <class Entries> void grow(const Entries& entries) {
        std::vector<std::uint64_t> old(slots_.size() * 2);
        old.swap(slots_);
        mask_ = slots_.size() - 1;
        for (const std::uint64_t s : old)
            if (s != 0) slots_[freeSlot(entries.hashAt(positionIn(s)))] = s;
    }

    std::vector<std::uint64_t> slots_; ///< 0 is an empty slot
    std::size_t mask_ = 0;
    std::size_t used_ = 0;
    std::size_t lastSlot_ = 0;
};

} // namespace vantery::detail
