#pragma once
// The pieces both analysis tabs lay out: a figure tile and a table row, as texts
// and values a widget shows without deriving anything.
#include <optional>
#include <string>
#include <utility>

#include "model/BucketTableModel.hpp"
#include "vantery/report/Bucket.hpp"
#include "vantery/model/Estimate.hpp"

namespace vantery::app {

/// One stat tile: its title as given (the view upper-cases it), the figure's text when
/// known, else "unknown" with the core's reason for the tooltip, and an optional note.
struct TileTexts {
    std::string title;
    std::string value;                        ///< the formatted figure, or "unknown"
    std::optional<std::string> unknownReason; ///< set exactly when the figure is unknown
    std::optional<std::string> note;

    bool isKnown() const noexcept { return !unknownReason; }
    friend bool operator==(const TileTexts&, const TileTexts&) = default;
};

/// A tile from an estimate: `format` turns a known value into text; an unknown one
/// never shows a number.
template <class T, class Format>
TileTexts makeTile(std::string title, const Estimate<T>& estimate, Format&& format,
                   std::optional<std::string> note = std::nullopt) {
    TileTexts t{std::move(title), {}, {}, std::move(note)};
    if (estimate.isKnown()) {
        t.value = format(estimate.knownValue());
    } else {
        t.value = "unknown";
        t.unknownReason = estimate.unknownReason().text();
    }
    return t;
}

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
