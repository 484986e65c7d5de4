#pragma once
// Pricing many rows on their local days: the zone is asked once per stretch of
// constant offset and the price table once per (model, day). The aggregation, the
// per-file contributions and the figure of yesterday so far price through here, and
// the cost itself is always Pricing::costOf, the formula behind UsageRecord::cost.
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

    // The common case, the stretch of the last instant, is inlined into the loops.
    [[gnu::always_inline]] void dayAndHour(double instant, std::int32_t& day, int& hour) {
        if (instant > -1e11 && instant < 1e11 && !spans_.empty() &&
            spans_[lastSpan_].contains(instant))
            return within(spans_[lastSpan_], instant, day, hour);
        search(instant, day, hour);
    }

  private:
    static void within(const Calendar::OffsetSpan& span, double instant, std::int32_t& day,
                       int& hour) noexcept {
        double local = std::floor(instant) + span.offsetSeconds;
        double d = std::floor(local / secondsPerDay);
        day = static_cast<std::int32_t>(d);
        hour = static_cast<int>((local - d * secondsPerDay) / 3600);
    }
    [[gnu::noinline]] void search(double instant, std::int32_t& day, int& hour) {
        // Far-off or non-finite instants take the calendar's own (clamping) path.
        if (!(instant > -1e11 && instant < 1e11)) return slow(instant, day, hour);
        for (std::size_t i = 0; i < spans_.size(); ++i)
            if (spans_[i].contains(instant)) {
                lastSpan_ = i;
                return within(spans_[i], instant, day, hour);
            }
        auto s = calendar_.offsetSpan(instant);
        if (!s.contains(instant)) return slow(instant, day, hour);
        if (spans_.size() >= maxSpans) spans_.clear();
        spans_.push_back(s);
        lastSpan_ = spans_.size() - 1;
        within(spans_.back(), instant, day, hour);
    }

    static constexpr std::size_t maxSpans = 64;
    static constexpr double secondsPerDay = 86400;
    void slow(double instant, std::int32_t& day, int& hour) {
        auto t = calendar_.localTime(instant);
        day = t.day.daysSinceEpoch();
        hour = t.hour;
    }
    const Calendar& calendar_;
    std::vector<Calendar::OffsetSpan> spans_;
    std::size_t lastSpan_ = 0;
};

// The models met in a pass, by dense slot, whether each has a price, and the cost of a
// request on its local day. A model's slot is found from its dictionary id through an
// array, and its prices are looked up once per (model, day): requests of a model come
// in runs of one day, so the last day's prices are kept beside the slot.
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
    // The model's slot; `added` tells whether the model is new to the book.
    std::uint32_t model(std::uint32_t id, std::int32_t day, bool& added) {
        added = false;
        if (id >= slotOf_.size()) slotOf_.resize(dictionary_->sizes().models, none);
        std::uint32_t& slot = slotOf_[id];
        if (slot != none) return slot;
        const std::string_view text = dictionary_->model(id);
        auto [it, inserted] = byText_.try_emplace(std::string(text), size());
        if (inserted) {
            added = true;
            names.emplace_back(text);
            priced.push_back(Pricing::prices(text, LocalDay(day)).isKnown());
            last_.emplace_back();
        }
        slot = it->second;
        return slot;
    }
    // Whether a model has a price at all depends on its id only, never on the day, so
    // an unpriced request adds 0 here and is accounted for by its model's count.
    [[gnu::always_inline]] double cost(std::uint32_t slot, std::int32_t day,
                                       const RequestCounts& counts) {
        if (!priced[slot]) return 0;
        const Last& last = last_[slot];
        const std::optional<Prices>& prices =
            last.valid && last.day == day ? last.prices : lookUp(slot, day);
        if (!prices) return 0;
        return Pricing::costOf(*prices, counts);
    }
    std::uint32_t size() const noexcept { return static_cast<std::uint32_t>(names.size()); }

    std::vector<std::string> names; // by slot
    std::vector<char> priced;       // by slot

  private:
    struct Last {
        std::optional<Prices> prices;
        std::int32_t day = 0;
        bool valid = false;
    };
    const RequestDictionary* dictionary_ = nullptr;
    std::vector<std::uint32_t> slotOf_;
    std::unordered_map<std::string, std::uint32_t> byText_;
    std::vector<Last> last_;
    std::unordered_map<std::uint64_t, std::optional<Prices>> cache_;

    [[gnu::noinline]] const std::optional<Prices>& lookUp(std::uint32_t slot, std::int32_t day) {
        const auto key = (static_cast<std::uint64_t>(slot) << 32) | static_cast<std::uint32_t>(day);
        auto it = cache_.find(key);
        if (it == cache_.end())
            it = cache_.emplace(key, Pricing::prices(names[slot], LocalDay(day)).value()).first;
        last_[slot] = {it->second, day, true};
        return last_[slot].prices;
    }
};

} // namespace vantery::detail
