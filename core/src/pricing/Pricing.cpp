#include "vantery/pricing/Pricing.hpp"

#include <algorithm>
#include <cctype>

#include <utf8proc.h>

#include "vantery/base/Text.hpp"
#include "vantery/model/UsageRecord.hpp"

namespace vantery {
namespace {

// Tier ends are written as year-month-day text; they are fixed literals.
LocalDay day(std::string_view text) {
    int parts[3] = {0, 0, 0};
    int n = 0;
    std::size_t pos = 0;
    while (pos <= text.size() && n < 3) {
        auto dash = text.find('-', pos);
        auto piece =
            text.substr(pos, dash == std::string_view::npos ? std::string_view::npos : dash - pos);
        if (!piece.empty()) {
            int v = 0;
            for (char c : piece)
                v = v * 10 + (c - '0');
            parts[n++] = v;
        }
        if (dash == std::string_view::npos) break;
        pos = dash + 1;
    }
    return LocalDay::fromYMD(parts[0], parts[1], parts[2]);
}

using Table = std::map<std::string, std::vector<PriceTier>, std::less<>>;

const Table& buildTable() {
    static const Table t = [] {
        auto open = [](double in, double out) {
            return std::vector<PriceTier>{{std::nullopt, in, out}};
        };
        Table t;
        for (auto m : {"claude-fable-5", "claude-mythos-5", "claude-mythos-preview"})
            t[m] = open(10, 50);
        for (auto m : {"claude-opus-5", "claude-opus-4-8", "claude-opus-4-7", "claude-opus-4-6",
                       "claude-opus-4-5"})
            t[m] = open(5, 25);
        for (auto m : {"claude-opus-4-1", "claude-opus-4-0", "claude-opus-4", "claude-3-opus"})
            t[m] = open(15, 75);
        t["claude-sonnet-5"] = {{day("2026-08-31"), 2, 10}, {std::nullopt, 3, 15}};
        for (auto m : {"claude-sonnet-4-6", "claude-sonnet-4-5", "claude-sonnet-4-0",
                       "claude-sonnet-4", "claude-3-7-sonnet", "claude-3-5-sonnet"})
            t[m] = open(3, 15);
        t["claude-haiku-4-5"] = open(1, 5);
        t["claude-3-5-haiku"] = open(0.8, 4);
        t["claude-3-haiku"] = open(0.25, 1.25);
        return t;
    }();
    return t;
}

const std::vector<const Table::value_type*>& keysByLength() {
    static const std::vector<const Table::value_type*> keys = [] {
        std::vector<const Table::value_type*> k;
        for (const auto& e : buildTable())
            k.push_back(&e);
        std::stable_sort(k.begin(), k.end(), [](auto* a, auto* b) {
            return text::characterCount(a->first) > text::characterCount(b->first);
        });
        return k;
    }();
    return keys;
}

// Whether a character stands for a number: its first code point is a decimal digit, a
// letter-like number or another numeral.
bool isNumericCharacter(std::string_view c) {
    utf8proc_int32_t cp = -1;
    if (utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(c.data()),
                         static_cast<utf8proc_ssize_t>(c.size()), &cp) <= 0)
        return false;
    auto category = utf8proc_category(cp);
    return category == UTF8PROC_CATEGORY_ND || category == UTF8PROC_CATEGORY_NL ||
           category == UTF8PROC_CATEGORY_NO;
}

bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// The id as the table spells versions: each "." between two ASCII digits read as "-",
// since "4.6" is written as often as "4-6". Held per thread, as every request of a
// dotted model is looked up through it.
std::string_view dashedVersions(std::string_view model) {
    thread_local std::string dashed;
    dashed.assign(model);
    for (std::size_t i = 1; i + 1 < dashed.size(); ++i)
        if (dashed[i] == '.' && isAsciiDigit(dashed[i - 1]) && isAsciiDigit(dashed[i + 1]))
            dashed[i] = '-';
    return dashed;
}

// The tiers of the table's key equal to the id, else of the longest key that prefixes
// it, versions read with dashes. No key holds a ".", so an id found as it is needs no
// rewriting.
const std::vector<PriceTier>* tiersOf(std::string_view model) {
    const auto& t = buildTable();
    if (auto it = t.find(model); it != t.end()) return &it->second;
    if (model.find('.') != std::string_view::npos) {
        model = dashedVersions(model);
        if (auto it = t.find(model); it != t.end()) return &it->second;
    }
    for (const auto* e : keysByLength())
        if (model.starts_with(e->first)) return &e->second;
    return nullptr;
}

} // namespace

Estimate<double> Pricing::webFetchCost() {
    return Estimate<double>::unknown(UnknownReason::notMetered("web fetch"));
}

const std::map<std::string, std::vector<PriceTier>, std::less<>>& Pricing::table() {
    return buildTable();
}

Estimate<Prices> Pricing::prices(std::string_view model, LocalDay onDay) {
    const std::vector<PriceTier>* tiers = tiersOf(model);
    if (!tiers || tiers->empty())
        return Estimate<Prices>::unknown(UnknownReason::noPriceForModel(std::string(model)));
    // The tier is chosen on the caller's own local day, so a request is never priced
    // on a neighbouring day.
    const PriceTier* chosen = &tiers->back();
    for (const auto& tier : *tiers) {
        if (!tier.until || onDay <= *tier.until) {
            chosen = &tier;
            break;
        }
    }
    return Estimate<Prices>::known(Prices{chosen->input, chosen->output});
}

std::string Pricing::normalizeModel(std::string_view model) {
    std::string s = text::lowercased(text::trimmed(model));
    for (std::size_t at; (at = s.find("[1m]")) != std::string::npos;)
        s.erase(at, 4);

    // A date suffix: the last 9 of at least 10 characters are "-", "2", "0" and six more
    // numeric characters (any script's digits count, as does a digit with a mark on it).
    std::string_view last[9];
    std::size_t count = 0;
    text::forEachCharacter(s, [&](std::string_view c) { last[count++ % 9] = c; });
    if (count >= 10) {
        auto tail = [&](std::size_t k) { return last[(count - 9 + k) % 9]; }; // k = 0..8
        bool numeric = true;
        for (std::size_t k = 1; k < 9; ++k)
            numeric = numeric && isNumericCharacter(tail(k));
        if (numeric && tail(0) == "-" && tail(1) == "2" && tail(2) == "0")
            s.resize(static_cast<std::size_t>(tail(0).data() - s.data()));
    }
    return s;
}

Estimate<double> UsageRecord::cost(const LocalDay& day) const {
    auto p = Pricing::prices(model, day);
    if (!p.isKnown()) return Estimate<double>::unknown(p.unknownReason());
    return Estimate<double>::known(Pricing::costOf(p.knownValue(), *this));
}

} // namespace vantery
