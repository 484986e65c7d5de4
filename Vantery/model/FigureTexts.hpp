#pragma once
// The texts and tones of the figure views (estimate, cost, composition bar, dominant
// component, disclaimer) as plain values, so the honesty rules can be checked without
// widgets: an unknown figure is never a number, a lower bound is always marked.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vantery/model/Estimate.hpp"
#include "vantery/report/Bucket.hpp"

namespace vantery::app {

/// Which colour a text takes; the widgets map these to Theme colours.
enum class Tone {
    primary,   ///< the colour the caller passed
    accent,    ///< a lower bound and its marker
    unknown,   ///< every "unknown"
    secondary, ///< captions and notes
};

/// One text of a figure view: what it says, how it looks, what its tooltip says.
struct FigureText {
    std::string text;
    Tone tone = Tone::primary;
    bool italic = false;
    std::string tooltip; ///< empty: no tooltip

    friend bool operator==(const FigureText&, const FigureText&) = default;
};

/// A cost: its amount text, its tone and the caveat behind its warning marker.
struct CostFigure {
    std::string text;                  ///< CostEstimate::formatted(): "≥ " before a lower bound
    Tone tone = Tone::primary;         ///< accent while requests are unpriced
    std::optional<std::string> caveat; ///< set exactly when the marker shows

    friend bool operator==(const CostFigure&, const CostFigure&) = default;
};

/// The four token components, in their one order of display.
enum class Component { cacheRead, cacheWrite, output, input };

/// One part of the composition bar.
struct CompositionSegment {
    Component component;
    std::string label;   ///< "cache read", "cache write", "output", "input"
    std::int64_t tokens; ///< web searches and fetches take no part
    double fraction;     ///< tokens ÷ the bucket's total tokens

    friend bool operator==(const CompositionSegment&, const CompositionSegment&) = default;
};

/// A drawn rectangle of the bar, in the bar's own coordinates (x from its left edge).
struct BarRect {
    Component component;
    double x;
    double width;
};

namespace FigureTexts {

/// A known estimate as format(value) in the caller's tone; an unknown one as the word
/// "unknown", italic, in the unknown tone, with the reason's sentence as tooltip. Never a
/// number for an unknown estimate, whatever format does.
template <class T, class F> FigureText estimate(const Estimate<T>& e, F&& format) {
    if (e.isKnown()) return {std::string(format(e.knownValue())), Tone::primary, false, {}};
    return {"unknown", Tone::unknown, true, e.unknownReason().text()};
}

/// The cost column's text: formatted(), accent and caveat while the cost is a lower bound.
CostFigure cost(const CostEstimate& cost);
/// CostEstimate::caveat() with each model named as Fmt::shownName shows it (no control
/// character, at most 60 characters, isolated), so that the sentence always wraps.
std::optional<std::string> caveat(const CostEstimate& cost);

/// The composition bar's parts: empty when the bucket has no token; otherwise all four
/// components in the order cache read, cache write, output, input (zero parts included).
std::vector<CompositionSegment> composition(const Bucket& bucket);

/// The rectangles of a bar `width` wide: one per part with at least one token, 1 apart,
/// each max(width × fraction, 1) wide so a tiny part stays visible. Empty for an empty bar.
std::vector<BarRect> barLayout(const Bucket& bucket, double width);

/// The legend line: "dominant: <name> — <p>% of tokens" in the secondary tone, or an
/// italic "unknown" with the no-data sentence as tooltip. Ties go to the earlier component.
FigureText dominant(const Bucket& bucket);

/// "Estimate from usage × list API prices. Not a bill."
std::string disclaimer();

/// The request and token columns of a table row.
std::string requests(const Bucket& bucket);
std::string tokens(const Bucket& bucket);

/// A tile's title as shown: upper-cased (Unicode-aware), whatever case the caller used.
std::string tileTitle(const std::string& title);

} // namespace FigureTexts
} // namespace vantery::app
