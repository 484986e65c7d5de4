#pragma once
// A pass over a table's rows in windows, in two steps per window. First, each row's
// local day, whether it is taken and its cost are worked out in parallel over stretches
// of the window, and the taken rows are listed: none of this depends on the rows' order. Then
// lanes, each owning some of the keys the pass sums into, walk the whole window in the table's
// order, in parallel with each other: every sum is still added up in the table's order, by one
// lane, so figures do not depend on the number of threads.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <type_traits>
#include <vector>

#include "base/Parallel.hpp"
#include "report/DayPricing.hpp"
#include "vantery/base/Calendar.hpp"
#include "vantery/model/RequestTable.hpp"

namespace vantery::detail {

// What the first step leaves for the lanes, per taken row. Without initialisers: a
// window's rows are only read where they were written, and so its memory is first
// touched by the threads that fill it rather than cleared on one beforehand.
struct PreparedRow {
    // What a classifier answers for a row the pass skips.
    static constexpr std::uint32_t leftOut = 0xFFFFFFFFu;

    const RequestRow* row;
    double cost;        // on the row's local day; 0 when unpriced
    std::int32_t day;   // local day
    std::uint32_t mark; // what the pass's classifier made of the row
};
static_assert(std::is_trivially_default_constructible_v<PreparedRow>);

// The taken rows of a window, in the table's order: one run per stretch prepared.
using TakenRuns = std::vector<std::span<const PreparedRow>>;

// One worker's share of the first step; it keeps its clock's stretches of offset and
// the prices it looked up from one window to the next.
class RowPreparer {
  public:
    RowPreparer(const Calendar& calendar, const RequestDictionary& dictionary, std::size_t models)
        : clock_(calendar) {
        book_.use(dictionary, models);
    }

    // The taken rows of [begin, end), written from `out` on; returns how many.
    // `mark(row, day, hour)` gives PreparedRow::leftOut for a row the pass skips; only
    // the others are priced.
    template <class Mark>
    std::size_t prepare(const RequestTable& table, std::size_t begin, std::size_t end,
                        PreparedRow* out, const Mark& mark) {
        const RequestDictionary& dictionary = table.dictionary();
        PreparedRow* next = out;
        auto row = table.at(begin);
        for (std::size_t i = begin; i < end; ++i, ++row) {
            const RequestRow& r = *row;
            std::int32_t day = 0;
            int hour = 0;
            clock_.dayAndHour(r.timestamp, day, hour);
            const std::uint32_t m = mark(r, day, hour);
            if (m == PreparedRow::leftOut) continue;
            bool added = false;
            const std::uint32_t model = book_.model(r.model, day, added);
            *next++ = {&r, book_.cost(model, day, dictionary.counts(r)), day, m};
        }
        return static_cast<std::size_t>(next - out);
    }

  private:
    LocalClock clock_;
    PriceBook book_;
};

// Rows per window: its prepared rows take 6 MB at most, however large the table. The
// store runs up to four passes at once (history, today, yesterday, a range): at twice
// this, a million-request app peaked some 30 MiB higher; at half, Year to date over
// ten million took some 100 ms longer.
constexpr std::size_t windowRows = std::size_t{1} << 18;
// Below this many rows per worker, more threads cost more than they save.
constexpr std::size_t rowsPerWorker = std::size_t{1} << 15;

// The threads a pass over n rows uses.
inline std::size_t passWorkers(std::size_t n) {
    return std::clamp<std::size_t>(n / rowsPerWorker, 1, parallel::maxThreads());
}

// Runs the pass: `mark` as in RowPreparer::prepare (called from several threads at
// once), then `walk(lane, runs)` for every lane in [0, lanes) and every window's taken
// rows. A lane's windows come to it in order, one at a time.
template <class Mark, class Walk>
void windowedPass(const RequestTable& table, const Calendar& calendar, std::size_t lanes,
                  const Mark& mark, const Walk& walk) {
    const std::size_t n = table.size();
    if (n == 0) return;
    const std::size_t workers = passWorkers(n);
    std::vector<RowPreparer> preparers;
    preparers.reserve(workers);
    for (std::size_t w = 0; w < workers; ++w)
        preparers.emplace_back(calendar, table.dictionary(), table.sizes().models);
    // Not cleared: its pages may be fresh (the heap top it came from given back), and
    // clearing it on this thread first cost Last 7 days over a million requests some
    // 20 ms of its 50 (vantery-tabs-bench) before any parallel work began.
    const auto prepared = std::make_unique_for_overwrite<PreparedRow[]>(std::min(n, windowRows));
    TakenRuns runs(workers);

    for (std::size_t begin = 0; begin < n; begin += windowRows) {
        const std::size_t size = std::min(n - begin, windowRows);
        parallel::forEach(
            workers,
            [&](std::size_t w) {
                const std::size_t from = size * w / workers, to = size * (w + 1) / workers;
                PreparedRow* out = prepared.get() + from;
                runs[w] = {out, preparers[w].prepare(table, begin + from, begin + to, out, mark)};
            },
            workers);
        parallel::forEach(
            lanes, [&](std::size_t lane) { walk(lane, runs); }, workers);
    }
}

} // namespace vantery::detail
