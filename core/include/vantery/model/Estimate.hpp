#pragma once
// Figures that may be impossible to compute: never shown as zero, always with a reason.
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace vantery {

/// Why a figure is unknown; each reason has one fixed sentence.
class UnknownReason {
  public:
    enum class Kind : std::uint8_t {
        noPriceForModel = 0,
        noData = 1,
        noRecentActivity = 2,
        notMetered = 3,
        unreadableSource = 4,
        periodIncomplete = 5,
    };

    static UnknownReason noPriceForModel(std::string model) {
        return {Kind::noPriceForModel, std::move(model)};
    }
    static UnknownReason noData() { return {Kind::noData, {}}; }
    static UnknownReason noRecentActivity() { return {Kind::noRecentActivity, {}}; }
    static UnknownReason notMetered(std::string service) {
        return {Kind::notMetered, std::move(service)};
    }
    static UnknownReason unreadableSource(std::string source) {
        return {Kind::unreadableSource, std::move(source)};
    }
    static UnknownReason periodIncomplete() { return {Kind::periodIncomplete, {}}; }

    Kind kind() const noexcept { return kind_; }
    /// The model, service or source name of a payload case; empty otherwise.
    const std::string& payload() const noexcept { return payload_; }
    /// The reason's sentence, lower case, no final full stop.
    std::string text() const;

    friend bool operator==(const UnknownReason&, const UnknownReason&) = default;
    std::size_t hash() const noexcept;

  private:
    UnknownReason(Kind k, std::string p) : kind_(k), payload_(std::move(p)) {}
    Kind kind_;
    std::string payload_;
};

/// A figure that is known, or unknown with a reason.
template <class T> class Estimate {
  public:
    static Estimate known(T v) { return Estimate(std::in_place_index<0>, std::move(v)); }
    static Estimate unknown(UnknownReason r) {
        return Estimate(std::in_place_index<1>, std::move(r));
    }

    bool isKnown() const noexcept { return v_.index() == 0; }
    std::optional<T> value() const {
        if (isKnown()) return std::get<0>(v_);
        return std::nullopt;
    }
    std::optional<UnknownReason> reason() const {
        if (!isKnown()) return std::get<1>(v_);
        return std::nullopt;
    }
    /// The known value; only valid when isKnown().
    const T& knownValue() const { return std::get<0>(v_); }
    /// The reason; only valid when !isKnown().
    const UnknownReason& unknownReason() const { return std::get<1>(v_); }

    template <class F> auto map(F&& f) const -> Estimate<std::invoke_result_t<F, const T&>> {
        using U = std::invoke_result_t<F, const T&>;
        if (isKnown()) return Estimate<U>::known(std::invoke(std::forward<F>(f), std::get<0>(v_)));
        return Estimate<U>::unknown(std::get<1>(v_));
    }

    friend bool operator==(const Estimate& a, const Estimate& b) { return a.v_ == b.v_; }

  private:
    template <std::size_t I, class A>
    Estimate(std::in_place_index_t<I> i, A&& a) : v_(i, std::forward<A>(a)) {}
    std::variant<T, UnknownReason> v_;
};

/// Which way a figure is rounded for display. A bound rounds away from what it claims,
/// a lower one down and an upper one up, so that it never claims more than is known.
enum class Rounding { nearest, down, up };

/// `value` with exactly `places` decimals (0 to 6), "." before them, no grouping, no
/// locale. Rounded on the value's shortest decimal form (the digits that read back as
/// the same double), so that 5.23 rounded down stays 5.23: to the nearest with ties to
/// even, or down or up. "-" only before a text that is not all zeros. `value` is
/// finite.
std::string fixedDecimals(double value, int places, Rounding rounding);

/// Dollars at list prices, a lower bound while some requests could not be priced.
struct CostEstimate {
    double priced = 0;
    std::int64_t unpricedRequests = 0;
    std::set<std::string> unpricedModels;

    bool isComplete() const noexcept { return unpricedRequests == 0; }
    CostEstimate& operator+=(const CostEstimate& o);
    friend CostEstimate operator+(CostEstimate a, const CostEstimate& b) { return a += b; }
    /// priced × factor; the unpriced count and models are unchanged.
    CostEstimate scaled(double factor) const;
    /// Median of the priced amounts; unpriced counts summed and models united.
    /// An empty list gives the empty estimate.
    static CostEstimate median(const std::vector<CostEstimate>& of);
    /// money(priced), preceded by "≥ " when requests are missing; that lower bound is
    /// rounded down, so $5.237 with a request left out reads "≥ $5.23".
    std::string formatted() const;
    /// The system's one dollar format, independent of the process locale: two decimals,
    /// four below a cent.
    static std::string money(double amount) { return moneyRounded(amount, Rounding::nearest); }
    /// The same, rounded down or up for a bound, to the whole 1e-8 dollars first.
    static std::string moneyRounded(double amount, Rounding rounding);
    /// The sentence naming the unpriced requests; absent when complete.
    std::optional<std::string> caveat() const;

    friend bool operator==(const CostEstimate&, const CostEstimate&) = default;
};

} // namespace vantery

template <> struct std::hash<vantery::UnknownReason> {
    std::size_t operator()(const vantery::UnknownReason& r) const noexcept { return r.hash(); }
};
