#include "model/FigureTexts.hpp"

#include <algorithm>

#include <QString>

#include "model/Fmt.hpp"
#include "vantery/report/Derived.hpp"

namespace vantery::app::FigureTexts {

CostFigure cost(const CostEstimate& c) {
    return {c.formatted(), c.isComplete() ? Tone::primary : Tone::accent, caveat(c)};
}

std::optional<std::string> caveat(const CostEstimate& c) {
    if (c.isComplete()) return std::nullopt;
    CostEstimate shown = c;
    shown.unpricedModels.clear();
    for (const auto& model : c.unpricedModels)
        shown.unpricedModels.insert(Fmt::shownName(model));
    return shown.caveat();
}

std::vector<CompositionSegment> composition(const Bucket& b) {
    const std::int64_t total = b.totalTokens();
    if (total < 1) return {};
    const auto part = [total](Component c, const char* label, std::int64_t n) {
        return CompositionSegment{c, label, n, static_cast<double>(n) / static_cast<double>(total)};
    };
    return {part(Component::cacheRead, "cache read", b.cacheRead),
            part(Component::cacheWrite, "cache write", b.cacheWrite()),
            part(Component::output, "output", b.output), part(Component::input, "input", b.input)};
}

std::vector<BarRect> barLayout(const Bucket& bucket, double width) {
    std::vector<BarRect> rects;
    double x = 0;
    for (const auto& s : composition(bucket)) {
        if (s.tokens < 1) continue;
        const double w = std::max(width * s.fraction, 1.0);
        rects.push_back({s.component, x, w});
        x += w + 1; // one point between parts
    }
    return rects;
}

FigureText dominant(const Bucket& bucket) {
    const auto d = bucket.dominantComponent();
    if (!d.isKnown()) return estimate(d, [](const DominantComponent&) { return std::string(); });
    const auto& v = d.knownValue();
    return {"dominant: " + v.name + " \u2014 " + Fmt::fixed(v.percent, 1) + "% of tokens",
            Tone::secondary,
            false,
            {}};
}

std::string disclaimer() {
    return std::string(Derived::disclaimer);
}

std::string requests(const Bucket& bucket) {
    return Fmt::exact(bucket.requests);
}

std::string tokens(const Bucket& bucket) {
    return Fmt::tokens(bucket.totalTokens());
}

std::string tileTitle(const std::string& title) {
    return QString::fromStdString(title).toUpper().toStdString();
}

} // namespace vantery::app::FigureTexts
