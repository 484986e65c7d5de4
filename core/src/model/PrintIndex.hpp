#pragma once
// Where each key print was first met among the rows of a list of blocks, rows numbered
// in order over all blocks. A probing index three quarters full at most, its tags
// confirmed on the whole print: at ten million keys this index is what a refresh or a
// save holds beside the table.
#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "vantery/base/ProbeIndex.hpp"
#include "vantery/model/FileBlock.hpp"

namespace vantery::detail {

class PrintIndex {
  public:
    // `expected` keys at most before the index grows; positions stay below 2^32 - 1.
    PrintIndex(const std::vector<const FileBlock*>& blocks, std::size_t expected)
        : blocks_(blocks), index_(expected) {
        start_.reserve(blocks.size() + 1);
        start_.push_back(0);
        for (const FileBlock* b : blocks)
            start_.push_back(start_.back() + (b ? b->size() : 0));
    }

    // The position where this print was first met, or `position` itself, now noted, when
    // it is new.
    std::size_t firstOf(const KeyPrint& print, std::size_t position) {
        return index_.findOrAdd(*this, print, print.lo, position).first;
    }

    // The block and the row of a position.
    std::pair<std::size_t, std::size_t> blockRow(std::size_t p) const {
        const auto b = static_cast<std::size_t>(std::upper_bound(start_.begin(), start_.end(), p) -
                                                start_.begin() - 1);
        return {b, p - start_[b]};
    }

    // What the index reads of its entries.
    const KeyPrint& keyAt(std::size_t p) const {
        const auto [b, row] = blockRow(p);
        return blocks_[b]->keyPrint(row);
    }
    std::uint64_t hashAt(std::size_t p) const { return keyAt(p).lo; }

  private:
    const std::vector<const FileBlock*>& blocks_;
    std::vector<std::size_t> start_;
    ProbeIndex<3> index_;
};

} // namespace vantery::detail
