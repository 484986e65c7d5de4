#pragma once
// Filling a report's large breakdowns on several threads: the keys sorted in runs, then
// the entries made in stretches, one thread a stretch.
#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "base/Parallel.hpp"

namespace vantery::detail {

// Stretches of [0, n): how many, and where each one starts.
class Stretches {
  public:
    // Below this many entries a stretch costs more to hand over than to make.
    static constexpr std::size_t minEntries = 4096;

    explicit Stretches(std::size_t n)
        : n_(n), count_(std::clamp<std::size_t>(n / minEntries, 1, parallel::maxThreads())) {}
    std::size_t count() const noexcept { return count_; }
    std::size_t begin(std::size_t s) const noexcept { return n_ * s / count_; }
    std::size_t end(std::size_t s) const noexcept { return n_ * (s + 1) / count_; }

  private:
    std::size_t n_, count_;
};

// Sorts `items` by `less`: the runs that end at `ends` are sorted in parallel, then
// merged pairwise.
template <class T, class Less>
void sortRuns(std::vector<T>& items, std::vector<std::size_t> ends, const Less& less) {
    if (items.size() < Stretches::minEntries) {
        std::sort(items.begin(), items.end(), less); // faster than starting threads
        return;
    }
    std::size_t start = 0;
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    for (std::size_t e : ends) {
        runs.emplace_back(start, e);
        start = e;
    }
    parallel::forEach(runs.size(), [&](std::size_t r) {
        std::sort(items.begin() + static_cast<std::ptrdiff_t>(runs[r].first),
                  items.begin() + static_cast<std::ptrdiff_t>(runs[r].second), less);
    });
    while (runs.size() > 1) {
        std::vector<std::pair<std::size_t, std::size_t>> merged;
        for (std::size_t r = 0; r + 1 < runs.size(); r += 2)
            merged.emplace_back(runs[r].first, runs[r + 1].second);
        if (runs.size() % 2) merged.push_back(runs.back());
        parallel::forEach(runs.size() / 2, [&](std::size_t m) {
            const auto at = [&](std::size_t i) {
                return items.begin() + static_cast<std::ptrdiff_t>(i);
            };
            std::inplace_merge(at(runs[2 * m].first), at(runs[2 * m].second),
                               at(runs[2 * m + 1].second), less);
        });
        runs = std::move(merged);
    }
}

} // namespace vantery::detail
