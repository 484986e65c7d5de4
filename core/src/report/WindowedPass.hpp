#pragma once
// A pass over a table's rows in windows, in two steps per window. First, each row's
// local day, whether it is taken and its cost are worked out in parallel over stretches
// of the window: none of these depend on the rows' order. Then lanes, each owning some
// of the keys the pass sums into, walk the whole window in the table's order, in
// parallel with each other: every sum is still added up in the table's order, by one
// lane, so figures do not depend on the number of threads.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/Parallel.hpp"
#include "report/DayPricing.hpp"
#include "vantery/base/Calendar.hpp"
#include "vantery/model/RequestTable.hpp"

namespace vantery::detail {

// What the first step leaves for the lanes, per row.
struct PreparedRow {
    static constexpr std::uint32_t leftOut = 0xFFFFFFFFu;

    double cost = 0;        // on the row's local day; 0 when unpriced or left out
    std::int32_t day = 0;   // local day
    std::uint32_t mark = 0; // leftOut, or what the pass's classifier made of the row
};

// One worker's share of the first step; it keeps its clock's stretches of offset and
// the prices it looked up from one window to the next.
class RowPreparer {
  public:
    RowPreparer(const Calendar& calendar, const RequestDictionary& dictionary, std::size_t models)
        : clock_(calendar) {
        book_.use(dictionary, models);
    }

    // Rows [begin, end) into out[0, end - begin). `mark(row, day, hour)` gives
    // PreparedRow::leftOut for a row the pass skips; only the others are priced.
    template <class Mark>
    void prepare(const RequestTable& table, std::size_t begin, std::size_t end, PreparedRow* out,
                 const Mark& mark) {
        const RequestDictionary& dictionary = table.dictionary();
        for (std::size_t i = begin; i < end; ++i, ++out) {
            const RequestRow& r = table[i];
            std::int32_t day = 0;
            int hour = 0;
            clock_.dayAndHour(r.timestamp, day, hour);
            out->day = day;
            out->mark = mark(r, day, hour);
            out->cost = 0;
            if (out->mark == PreparedRow::leftOut) continue;
            bool added = false;
            const std::uint32_t model = book_.model(r.model, day, added);
            out->cost = book_.cost(model, day, dictionary.counts(r));
        }
    }

  private:
    LocalClock clock_;
    PriceBook book_;
};

// Rows per window: its prepared values take 16 MB at most, however large the table.
constexpr std::size_t windowRows = std::size_t{1} << 20;
// Below this many rows per worker, more threads cost more than they save.
constexpr std::size_t rowsPerWorker = std::size_t{1} << 15;

// Runs the pass: `mark` as in RowPreparer::prepare (called from several threads at
// once), then `walk(lane, begin, end, prepared)` for every lane in [0, lanes) and every
// window [begin, end), prepared[k] holding row begin + k. A lane's windows come to it
// in order, one at a time.
template <class Mark, class Walk>
void windowedPass(const RequestTable& table, const Calendar& calendar, std::size_t lanes,
                  const Mark& mark, const Walk& walk) {
    const std::size_t n = table.size();
    if (n == 0) return;
    const std::size_t workers =
        std::clamp<std::size_t>(n / rowsPerWorker, 1, parallel::maxThreads());
    std::vector<RowPreparer> preparers;
    preparers.reserve(workers);
    for (std::size_t w = 0; w < workers; ++w)
        preparers.emplace_back(calendar, table.dictionary(), table.sizes().models);
    std::vector<PreparedRow> prepared(std::min(n, windowRows));

    for (std::size_t begin = 0; begin < n; begin += windowRows) {
        const std::size_t end = std::min(n, begin + windowRows);
        const std::size_t size = end - begin;
        parallel::forEach(
            workers,
            [&](std::size_t w) {
                const std::size_t from = begin + size * w / workers;
                const std::size_t to = begin + size * (w + 1) / workers;
                preparers[w].prepare(table, from, to, prepared.data() + (from - begin), mark);
            },
            workers);
        parallel::forEach(
            lanes, [&](std::size_t lane) { walk(lane, begin, end, prepared.data()); }, workers);
    }
}

} // namespace vantery::detail
