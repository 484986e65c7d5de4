#pragma once
// The one order of every ranking, shared by the report's top lists and the exported
// rows: priced dollars, largest first, then the key's text in canonical composition.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include "vantery/base/Text.hpp"

namespace vantery::detail {

/// The measure a ranking orders by. NaN never arises from real counts; ranking it last
/// keeps the order a strict weak one.
inline double rankMeasure(double priced) noexcept {
    return std::isnan(priced) ? -std::numeric_limits<double>::infinity() : priced;
}

/// A candidate of a ranking: its measure and where it was taken.
struct RankCandidate {
    double measure;
    std::size_t taken;
};

/// The `taken` of the first `limit` candidates in ranking order: measure, then the text
/// of `textOf(taken)` composed (so that the same name written with combining marks or
/// precomposed ranks the same; UTF-8 byte order is scalar order), then taken. Only
/// candidates that reach the limit-th measure get their text: a history's ranking of
/// 200,000 agents for its top 15 made 200,000 texts.
template <class TextOf>
std::vector<std::size_t> firstRanked(std::vector<RankCandidate>& candidates, std::size_t limit,
                                     const TextOf& textOf) {
    const std::size_t n = std::min(candidates.size(), limit);
    if (n == 0) return {};
    auto reaches = candidates.end();
    if (n < candidates.size()) {
        auto nth = candidates.begin() + static_cast<std::ptrdiff_t>(n - 1);
        std::nth_element(
            candidates.begin(), nth, candidates.end(),
            [](const RankCandidate& a, const RankCandidate& b) { return a.measure > b.measure; });
        const double least = nth->measure;
        reaches = std::partition(candidates.begin(), candidates.end(),
                                 [least](const RankCandidate& c) { return c.measure >= least; });
    }
    struct Ranked {
        double measure;
        std::string text;
        std::size_t taken;
    };
    std::vector<Ranked> ranked;
    ranked.reserve(static_cast<std::size_t>(reaches - candidates.begin()));
    for (auto c = candidates.begin(); c != reaches; ++c)
        ranked.push_back({c->measure, text::composed(textOf(c->taken)), c->taken});
    const auto before = [](const Ranked& a, const Ranked& b) {
        if (a.measure != b.measure) return a.measure > b.measure;
        if (int c = a.text.compare(b.text); c != 0) return c < 0;
        return a.taken < b.taken;
    };
    const auto end = ranked.begin() + static_cast<std::ptrdiff_t>(n);
    if (end == ranked.end())
        std::sort(ranked.begin(), end, before);
    else
        std::partial_sort(ranked.begin(), end, ranked.end(), before);
    std::vector<std::size_t> out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = ranked[i].taken;
    return out;
}

} // namespace vantery::detail
