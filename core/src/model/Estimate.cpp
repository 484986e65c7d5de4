#include "vantery/model/Estimate.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <vector>

#include "vantery/base/Saturating.hpp"
#include "vantery/base/Text.hpp"

namespace vantery {

std::string UnknownReason::text() const {
    switch (kind_) {
    case Kind::noPriceForModel:
        return "no known price for model: " + text::isolatedName(payload_) +
               " \u2014 its cost is not included";
    case Kind::noData:
        return "no requests in the selected range";
    case Kind::noRecentActivity:
        return "no requests in the last few hours \u2014 the rate would describe when you last "
               "worked, not now";
    case Kind::notMetered:
        return payload_ + " is not metered by the provider";
    case Kind::unreadableSource:
        return "unreadable source: " + payload_;
    case Kind::periodIncomplete:
        return "the period is still running \u2014 the figure is not final";
    }
    return {};
}

std::size_t UnknownReason::hash() const noexcept {
    std::size_t h = static_cast<std::size_t>(kind_);
    return h ^ (std::hash<std::string>{}(payload_) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
}

CostEstimate& CostEstimate::operator+=(const CostEstimate& o) {
    priced += o.priced;
    unpricedRequests = satAdd(unpricedRequests, o.unpricedRequests);
    unpricedModels.insert(o.unpricedModels.begin(), o.unpricedModels.end());
    return *this;
}

CostEstimate CostEstimate::scaled(double factor) const {
    CostEstimate c = *this;
    c.priced *= factor;
    return c;
}

CostEstimate CostEstimate::median(const std::vector<CostEstimate>& of) {
    CostEstimate result;
    if (of.empty()) return result;
    std::vector<double> values;
    values.reserve(of.size());
    for (const auto& e : of) {
        values.push_back(e.priced);
        result.unpricedRequests = satAdd(result.unpricedRequests, e.unpricedRequests);
        result.unpricedModels.insert(e.unpricedModels.begin(), e.unpricedModels.end());
    }
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    result.priced = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) * 0.5;
    return result;
}

std::string CostEstimate::formatted() const {
    return unpricedRequests != 0 ? "\u2265 " + moneyRounded(priced, Rounding::down) : money(priced);
}

std::string fixedDecimals(double value, int places, Rounding rounding) {
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    std::string_view plain(buf, static_cast<std::size_t>(r.ptr - buf));
    const bool negative = !plain.empty() && plain[0] == '-';
    if (negative) plain.remove_prefix(1);
    const auto point = plain.find('.');
    std::string whole(plain.substr(0, point));
    std::string decimals(point == std::string_view::npos ? "" : plain.substr(point + 1));
    const auto place = static_cast<std::size_t>(places);
    if (decimals.size() > place) {
        const bool beyond = decimals.find_first_not_of('0', place) != std::string::npos;
        bool up = false; // the magnitude
        if (rounding == Rounding::nearest) {
            const char next = decimals[place];
            const bool more = decimals.find_first_not_of('0', place + 1) != std::string::npos;
            const char last = place > 0 ? decimals[place - 1] : whole.back();
            up = next > '5' || (next == '5' && (more || (last - '0') % 2 == 1));
        } else {
            up = beyond && ((rounding == Rounding::up) != negative);
        }
        decimals.resize(place);
        if (up) {
            std::string all = whole + decimals;
            std::size_t i = all.size();
            while (i > 0 && all[i - 1] == '9')
                all[--i] = '0';
            if (i == 0)
                all.insert(all.begin(), '1');
            else
                ++all[i - 1];
            whole = all.substr(0, all.size() - place);
            decimals = all.substr(all.size() - place);
        }
    }
    decimals.resize(place, '0');
    // A negative value that shows as zero prints without its sign, as a formatter does.
    const bool allZero = whole.find_first_not_of('0') == std::string::npos &&
                         decimals.find_first_not_of('0') == std::string::npos;
    std::string out = negative && !allZero ? "-" : "";
    out += whole;
    if (place > 0) out += "." + decimals;
    return out;
}

std::string CostEstimate::moneyRounded(double amount, Rounding rounding) {
    char buf[400];
    if (!std::isfinite(amount)) {
        std::snprintf(buf, sizeof buf, "$%.2f", amount);
        return buf;
    }
    if (rounding != Rounding::nearest) {
        // Prices are whole hundredths of a dollar per million tokens, so an amount is a
        // whole number of 1e-8 dollars: what floating point adds to a sum below that
        // (20.999999999999996) is taken away before a bound rounds.
        const auto r = std::to_chars(buf, buf + sizeof buf, amount, std::chars_format::fixed, 8);
        std::from_chars(buf, r.ptr, amount);
    }
    if (amount != 0 && std::fabs(amount) < 0.01) {
        if (rounding != Rounding::nearest)
            return std::string("$").append(fixedDecimals(amount, 4, rounding));
        // Below a cent the exact binary value is rounded, as "%.4f" does, without the locale.
        auto r = std::to_chars(buf, buf + sizeof buf, amount, std::chars_format::fixed, 4);
        std::string out = "$";
        out.append(buf, r.ptr);
        return out;
    }
    // Two decimals are rounded on the amount's shortest decimal form, as a decimal
    // formatter does: 0.015 is written 0.015 and becomes 0.02, although the double lies
    // just below it.
    const std::string plain = fixedDecimals(amount, 2, rounding);
    const bool negative = plain[0] == '-';
    const std::string_view digits = std::string_view(plain).substr(negative ? 1 : 0);
    const std::string_view whole = digits.substr(0, digits.size() - 3);
    std::string out = negative ? "$-" : "$";
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0) out += ',';
        out += whole[i];
    }
    out += digits.substr(digits.size() - 3);
    return out;
}

std::optional<std::string> CostEstimate::caveat() const {
    if (unpricedRequests == 0) return std::nullopt;
    std::vector<std::string> names; // a std::set: already ascending
    for (const auto& m : unpricedModels)
        names.push_back(text::isolatedName(m));
    return std::to_string(unpricedRequests) + (unpricedRequests == 1 ? " request" : " requests") +
           " with no known price (" + text::joined(names, ", ") + ") are not included";
}

} // namespace vantery
