#pragma once
// The pieces both analysis tabs lay out: a figure tile, a table row and a card's
// heading, as texts and values a widget shows without deriving anything.
#include <optional>
#include <string>

#include "model/BucketTableModel.hpp"
#include "model/TileText.hpp"

namespace vantery::app {

/// One row of a breakdown table: the label, the bucket its figures come from, and the
/// caption under the label, if any; the painted list takes these rows as they are.
using TableRow = BucketTableRow;

/// A section card's heading.
struct CardTitle {
    std::string title;
    std::optional<std::string> subtitle;
    friend bool operator==(const CardTitle&, const CardTitle&) = default;
};

} // namespace vantery::app
