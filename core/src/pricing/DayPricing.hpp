#pragma once
// Pricing many requests on their local days: the zone is asked once per stretch of
// constant offset and the price table once per (model, day). The aggregation and the
// per-file contributions both price through here, and the cost itself is always
// Pricing::costOf, the formula behind UsageRecord::cost.
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "report/TextKeys.hpp"
#include "vantery/base/Calendar.hpp"
#include "vantery/model/UsageRecord.hpp"
#include "vantery/pricing/Pricing.hpp"

namespace vantery::detail {

// Local day and hour of instants, asking the zone only when an instant leaves the
// stretches of constant offset already met.
class LocalClock {
  public:
    explicit LocalClock(const Calendar& calendar) : calendar_(calendar) {}

    void dayAndHour(double instant, std::int32_t& day, int& hour) {
        // Far-off or non-finite instants take the calendar's own (clamping) path.
        if (!(instant > -1e11 && instant < 1e11)) return slow(instant, day, hour);
        const Calendar::OffsetSpan* span = nullptr;
        if (!spans_.empty() && spans_[lastSpan_].contains(instant)) {
            span = &spans_[lastSpan_];
        } else {
            for (std::size_t i = 0; i < spans_.size(); ++i)
                if (spans_[i].contains(instant)) {
                    lastSpan_ = i;
                    span = &spans_[i];
                    break;
                }
            if (!span) {
                auto s = calendar_.offsetSpan(instant);
                if (!s.contains(instant)) return slow(instant, day, hour);
                if (spans_.size() >= maxSpans) spans_.clear();
                spans_.push_back(s);
                lastSpan_ = spans_.size() - 1;
                span = &spans_.back();
            }
        }
        double local = std::floor(instant) + span->offsetSeconds;
        double d = std::floor(local / secondsPerDay);
        day = static_cast<std::int32_t>(d);
        hour = static_cast<int>((local - d * secondsPerDay) / 3600);
    }

  private:
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

// The models met in a pass, whether each has a price, and the cost of a request on
// its local day, with the prices of each (model, day) looked up once.
class PriceBook {
  public:
    // The model's index; `added` tells whether it was new.
    std::uint32_t model(std::string_view id, std::int32_t day, bool& added) {
        const std::uint32_t m = ids_.index(id, added);
        if (added) {
            names.emplace_back(id);
            priced.push_back(Pricing::prices(id, LocalDay(day)).isKnown());
        }
        return m;
    }
    // Whether a model has a price at all depends on its id only, never on the day, so
    // an unpriced request adds 0 here and is accounted for by its model's count.
    double cost(std::uint32_t model, std::int32_t day, const UsageRecord& r) {
        if (!priced[model]) return 0;
        const auto key =
            (static_cast<std::uint64_t>(model) << 32) | static_cast<std::uint32_t>(day);
        auto it = cache_.find(key);
        if (it == cache_.end())
            it = cache_.emplace(key, Pricing::prices(r.model, LocalDay(day)).value()).first;
        if (!it->second) return 0;
        return Pricing::costOf(*it->second, r);
    }
    std::string_view key(std::uint32_t m) const { return ids_.key(m); }
    std::uint32_t size() const noexcept { return ids_.size(); }

    std::vector<std::string> names;
    std::vector<char> priced;

  private:
    Interner ids_;
    std::unordered_map<std::uint64_t, std::optional<Prices>> cache_;
};

} // namespace vantery::detail
