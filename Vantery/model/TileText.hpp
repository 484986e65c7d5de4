#pragma once
// A figure tile as plain values: what StatTile shows, with the honesty rules of
// FigureTexts already applied to its figure.
#include <optional>
#include <string>

#include "model/FigureTexts.hpp"

namespace vantery::app {

/// One figure tile: its title (as the caller passes it; the tile upper-cases it), its
/// figure text and an optional note.
struct TileText {
    std::string title;
    FigureText figure;
    std::optional<std::string> note;

    friend bool operator==(const TileText&, const TileText&) = default;
};

} // namespace vantery::app
