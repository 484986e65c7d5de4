#pragma once
// Pricing many rows on their local days: the zone is asked once per stretch of
// constant offset and the price table once per (model, day). The aggregation, the
// per-file contributions and the figure of yesterday so far price through here, and
// the cost itself is always Pricing::costOf, the formula behind UsageRecord::cost.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "vantery/base/Calendar.hpp"
#include "vantery/model/RequestTable.hpp"
#include "vantery/pricing/Pricing.hpp"

namespace vantery::detail {

// Local day and hour of instants, asking the zone only when an instant leaves the
// stretches of constant offset already met.
class LocalClock {
  public:
    explicit LocalClock(const Calendar& calendar) : calendar_(calendar) {}

    // The common case, the stretch of the last instant, is inlined into the loops; its
    // bounds are kept apart from the list so that the check reads no vector.
    [[gnu::always_inline]] void dayAndHour(double instant, std::int32_t& day, int& hour) {
        if (instant >= last_.begin && instant < last_.end)
            return within(last_.offsetSeconds, instant, day, hour);
        search(instant, day, hour);
    }

  private:
    [[gnu::always_inline]] static void within(int offsetSeconds, double instant, std::int32_t& day,
                                              int& hour) noexcept {
        double local = std::floor(instant) + offsetSeconds;
        double d = std::floor(local / secondsPerDay);
        day = static_cast<std::int32_t>(d);
        hour = static_cast<int>((local - d * secondsPerDay) / 3600);
    }
    [[gnu::noinline]] void search(double instant, std::int32_t& day, int& hour) {
        // Far-off or non-finite instants take the calendar's own (clamping) path.
        if (!(instant > -farOff && instant < farOff)) return slow(instant, day, hour);
        for (const auto& span : spans_)
            if (span.contains(instant)) {
                remember(span);
                return within(span.offsetSeconds, instant, day, hour);
            }
        auto s = calendar_.offsetSpan(instant);
        if (!s.contains(instant)) return slow(instant, day, hour);
        if (spans_.size() >= maxSpans) spans_.clear();
        spans_.push_back(s);
        remember(s);
        within(s.offsetSeconds, instant, day, hour);
    }

    // Cut to the range of instants worked out here, so that the inlined check alone
    // sends the far-off ones to the calendar.
    void remember(const Calendar::OffsetSpan& span) noexcept {
        last_ = {std::max(span.begin, std::nextafter(-farOff, 0.0)), std::min(span.end, farOff),
                 span.offsetSeconds};
    }

    static constexpr std::size_t maxSpans = 64;
    static constexpr double secondsPerDay = 86400;
    static constexpr double farOff = 1e11;
    void slow(double instant, std::int32_t& day, int& hour) {
        auto t = calendar_.localTime(instant);
        day = t.day.daysSinceEpoch();
        hour = t.hour;
    }
    const Calendar& calendar_;
    std::vector<Calendar::OffsetSpan> spans_;
    // Empty until the first stretch is met: nothing is inside [0, 0).
    Calendar::OffsetSpan last_;
};

// Values by local day over a window of days that grows to take in the days met, for
// lookups that cost an index. Days beyond `maxDays` (some 45 years) of the window are
// refused, so that one far-off timestamp cannot make it huge: callers keep those apart.
template <class T> class DayArray {
  public:
    static constexpr std::int64_t maxDays = 1 << 14;

    // The value of a day inside the window, else null.
    [[gnu::always_inline]] T* find(std::int32_t day) noexcept {
        // Unsigned, so that a day before the first wraps past the end.
        const std::uint32_t at =
            static_cast<std::uint32_t>(day) - static_cast<std::uint32_t>(first_);
        return at < values_.size() ? &values_[at] : nullptr;
    }
    // The value of a day, the window grown (by at least its own size, so that growing
    // stays linear) to take it in; null when that would pass maxDays.
    T* grow(std::int32_t day) {
        const std::int64_t size = static_cast<std::int64_t>(values_.size());
        const std::int64_t first = first_;
        if (size == 0) {
            first_ = day;
            values_.resize(1);
        } else if (day < first) {
            const std::int64_t from =
                std::max(std::min<std::int64_t>(day, first - size), first + size - maxDays);
            if (day < from) return nullptr;
            values_.insert(values_.begin(), static_cast<std::size_t>(first - from), T{});
            first_ = static_cast<std::int32_t>(from);
        } else if (day >= first + size) {
            const std::int64_t through =
                std::min(std::max<std::int64_t>(day, first + 2 * size - 1), first + maxDays - 1);
            if (day > through) return nullptr;
            values_.resize(static_cast<std::size_t>(through - first + 1));
        }
        return find(day);
    }

  private:
    std::int32_t first_ = 0;
    std::vector<T> values_;
};

// The models met in a pass, by dense slot, whether each has a price, and the cost of a
// request on its local day. A model's slot is found from its dictionary id through an
// array, and its prices are looked up once per (model, day) into an array per model
// indexed by day: requests of a model alternate between days, so the last day's prices
// alone would miss on almost every row.
class PriceBook {
  public:
    static constexpr std::uint32_t none = 0xFFFFFFFFu;

    // Reads model ids of `dictionary` from now on; a model met in several dictionaries
    // keeps one slot, found by its text.
    void use(const RequestDictionary& dictionary, std::size_t models) {
        if (dictionary_ == &dictionary) return;
        dictionary_ = &dictionary;
        slotOf_.assign(models, none);
    }
    // The model's slot; `added` tells whether the model is new to the book. Inlined for
    // the common case, a model met before: the aggregation asks once per row and lane.
    [[gnu::always_inline]] std::uint32_t model(std::uint32_t id, std::int32_t day, bool& added) {
        added = false;
        if (id < slotOf_.size() && slotOf_[id] != none) return slotOf_[id];
        return meet(id, day, added);
    }
    // Whether a model has a price at all depends on its id only, never on the day, so
    // an unpriced request adds 0 here and is accounted for by its model's count.
    [[gnu::always_inline]] double cost(std::uint32_t slot, std::int32_t day,
                                       const RequestCounts& counts) {
        if (!priced[slot]) return 0;
        const DayPrices* p = days_[slot].find(day);
        if (!p || p->state == DayPrices::notLookedUp) p = &lookUp(slot, day);
        if (p->state != DayPrices::known) return 0;
        return Pricing::costOf(p->prices, counts);
    }
    std::uint32_t size() const noexcept { return static_cast<std::uint32_t>(names.size()); }

    std::vector<std::string> names; // by slot
    std::vector<char> priced;       // by slot

  private:
    // A model not met before in this dictionary.
    [[gnu::noinline]] std::uint32_t meet(std::uint32_t id, std::int32_t day, bool& added) {
        if (id >= slotOf_.size()) slotOf_.resize(dictionary_->sizes().models, none);
        std::uint32_t& slot = slotOf_[id];
        if (slot != none) return slot;
        const std::string_view text = dictionary_->model(id);
        auto [it, inserted] = byText_.try_emplace(std::string(text), size());
        if (inserted) {
            added = true;
            names.emplace_back(text);
            priced.push_back(Pricing::prices(text, LocalDay(day)).isKnown());
            days_.emplace_back();
        }
        slot = it->second;
        return slot;
    }
    struct DayPrices {
        enum State : std::uint8_t { notLookedUp, unknown, known };
        Prices prices;
        State state = notLookedUp;
    };
    const RequestDictionary* dictionary_ = nullptr;
    std::vector<std::uint32_t> slotOf_;
    std::unordered_map<std::string, std::uint32_t> byText_;
    std::vector<DayArray<DayPrices>> days_;
    std::unordered_map<std::uint64_t, DayPrices> farDays_; // days the arrays refuse

    static DayPrices priceOf(const std::string& model, std::int32_t day) {
        DayPrices p;
        auto prices = Pricing::prices(model, LocalDay(day));
        p.state = prices.isKnown() ? DayPrices::known : DayPrices::unknown;
        if (prices.isKnown()) p.prices = prices.knownValue();
        return p;
    }
    // The entry of (slot, day), looked up now.
    [[gnu::noinline]] const DayPrices& lookUp(std::uint32_t slot, std::int32_t day) {
        DayPrices* p = days_[slot].grow(day);
        if (!p) return far(slot, day);
        if (p->state == DayPrices::notLookedUp) *p = priceOf(names[slot], day);
        return *p;
    }
    const DayPrices& far(std::uint32_t slot, std::int32_t day) {
        const auto key = (static_cast<std::uint64_t>(slot) << 32) | static_cast<std::uint32_t>(day);
        auto it = farDays_.find(key);
        if (it == farDays_.end()) it = farDays_.emplace(key, priceOf(names[slot], day)).first;
        return it->second;
    }
};

} // namespace vantery::detail
