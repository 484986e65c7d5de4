#pragma once
// A figure tile as plain values: what StatTile shows, with the honesty rules of
// FigureTexts already applied to its figure.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "model/FigureTexts.hpp"
#include "model/Fmt.hpp"

namespace vantery::app {

/// One figure tile: its title (as the caller passes it; the tile upper-cases it), its
/// figure text and an optional note.
struct TileText {
    std::string title;
    FigureText figure;
    std::optional<std::string> note;

    friend bool operator==(const TileText&, const TileText&) = default;
};

/// A tile from an estimate: format(value) when known, else the italic "unknown" with the
/// core's reason as tooltip (FigureTexts::estimate); never a number for an unknown figure.
template <class T, class Format>
TileText makeTile(std::string title, const Estimate<T>& estimate, Format&& format,
                  std::optional<std::string> note = std::nullopt) {
    return {std::move(title), FigureTexts::estimate(estimate, std::forward<Format>(format)),
            std::move(note)};
}

/// A tile of a count that is always known, as an exact number ("1,234").
inline TileText countTile(std::string title, std::int64_t count,
                          std::optional<std::string> note = std::nullopt) {
    return makeTile(
        std::move(title), Estimate<std::int64_t>::known(count),
        [](std::int64_t n) { return Fmt::exact(n); }, std::move(note));
}

/// A tile of a cost estimate: CostEstimate::formatted() ("≥ " before a lower bound).
inline TileText costTile(std::string title, const Estimate<CostEstimate>& cost,
                         std::optional<std::string> note = std::nullopt) {
    return makeTile(
        std::move(title), cost, [](const CostEstimate& c) { return c.formatted(); },
        std::move(note));
}

} // namespace vantery::app
