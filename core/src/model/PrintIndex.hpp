#pragma once
// Where each key print was first met among the rows of a list of blocks, rows numbered
// in order over all blocks. Eight bytes a slot (32 bits of the print beside the position),
// a tag that matches confirmed on the whole print: at ten million keys this index is what
// a refresh or a save holds beside the table.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "vantery/model/RequestTable.hpp"

namespace vantery::detail {

class PrintIndex {
  public:
    // `expected` keys at most before the index grows; positions stay below 2^32 - 1.
    PrintIndex(const std::vector<const FileBlock*>& blocks, std::size_t expected)
        : blocks_(blocks),
          slots_(std::bit_ceil(std::max<std::size_t>(16, expected + expected / 2))) {
        mask_ = slots_.size() - 1;
        start_.reserve(blocks.size() + 1);
        start_.push_back(0);
        for (const FileBlock* b : blocks)
            start_.push_back(start_.back() + (b ? b->size() : 0));
    }

    // The position where this print was first met, or `position` itself, now noted, when
    // it is new.
    std::size_t firstOf(const KeyPrint& print, std::size_t position) {
        const std::uint64_t tag = print.lo >> 32 << 32;
        std::size_t i = print.lo & mask_;
        for (; slots_[i] != 0; i = (i + 1) & mask_) {
            if ((slots_[i] & ~std::uint64_t{0xffffffff}) != tag) continue;
            const std::size_t p = (slots_[i] & 0xffffffffu) - 1;
            if (printAt(p) == print) return p;
        }
        slots_[i] = tag | (position + 1);
        if (++used_ * 4 > slots_.size() * 3) grow();
        return position;
    }

    // The block and the row of a position.
    std::pair<std::size_t, std::size_t> blockRow(std::size_t p) const {
        const auto b = static_cast<std::size_t>(std::upper_bound(start_.begin(), start_.end(), p) -
                                                start_.begin() - 1);
        return {b, p - start_[b]};
    }

  private:
    const KeyPrint& printAt(std::size_t p) const {
        const auto [b, row] = blockRow(p);
        return blocks_[b]->keyPrint(row);
    }
    void grow() {
        std::vector<std::uint64_t> bigger(slots_.size() * 2);
        const std::size_t mask = bigger.size() - 1;
        for (const std::uint64_t s : slots_) {
            if (s == 0) continue;
            std::size_t j = printAt((s & 0xffffffffu) - 1).lo & mask;
            while (bigger[j] != 0)
                j = (j + 1) & mask;
            bigger[j] = s;
        }
        slots_ = std::move(bigger);
        mask_ = mask;
    }

    const std::vector<const FileBlock*>& blocks_;
    std::vector<std::size_t> start_;
    std::vector<std::uint64_t> slots_;
    std::size_t mask_ = 0, used_ = 0;
};

} // namespace vantery::detail
