#include "vantery/mcp/AnswerText.hpp"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "vantery/base/Text.hpp"

namespace vantery::mcp {
namespace {

std::string format(const char* fmt, double v) {
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, fmt, v);
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < sizeof buf)
        return std::string(buf, static_cast<std::size_t>(n));
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), fmt, v);
    big.resize(static_cast<std::size_t>(n));
    return big;
}

// Names from the data, each cleaned and isolated on its own, in set order.
std::string names(const std::set<std::string>& set, std::string_view separator) {
    std::string out;
    for (const auto& n : set) {
        if (!out.empty()) out += separator;
        out += text::isolatedName(n);
    }
    return out;
}

std::string repeat(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

} // namespace

const std::string AnswerText::rule = repeat("\u2500", 62) + "\n";

std::string AnswerText::day(LocalDay d) {
    return d.iso();
}

std::string AnswerText::day(double instant, const Calendar& cal) {
    return cal.dayOf(instant).iso();
}

std::string AnswerText::stamp(std::optional<double> instant, const Calendar& cal) {
    if (!instant) return "unknown";
    LocalTime t = cal.localTime(*instant);
    char buf[16];
    std::snprintf(buf, sizeof buf, " %02d:%02d", t.hour, t.minute);
    return t.day.iso() + buf;
}

// The number and word helpers are the core's, so that the server, the exports and the
// app write counts alike.
std::string AnswerText::count(std::int64_t n) {
    return text::groupedDigits(n);
}

std::string AnswerText::noun(std::int64_t n, std::string_view singular, std::string_view plural) {
    return text::counted(n, singular, plural);
}

std::string AnswerText::tokens(std::int64_t n) {
    return text::compactCount(n);
}

std::string AnswerText::joined(const std::set<std::string>& texts, std::string_view separator) {
    return text::joined(texts, separator);
}

std::string AnswerText::name(std::string_view name) {
    return text::isolatedName(name);
}

std::string AnswerText::cost(const Bucket& b) {
    if (b.requests < 1) return "unknown (no requests in range)";
    if (b.cost.priced == 0 && b.cost.unpricedRequests >= 1)
        return "unknown (" + noun(b.cost.unpricedRequests, "request", "requests") +
               ", no known price: " + names(b.cost.unpricedModels, ", ") + ")";
    std::string s = b.cost.formatted();
    if (auto c = b.cost.caveat()) s += " [" + *c + "]";
    return s;
}

std::string AnswerText::costEst(const Estimate<CostEstimate>& e, std::string_view suffix) {
    if (!e.isKnown()) return "unknown \u2014 " + e.unknownReason().text();
    const CostEstimate& c = e.knownValue();
    std::string s = c.formatted() + std::string(suffix);
    if (auto cv = c.caveat()) s += " [" + *cv + "]";
    return s;
}

std::string AnswerText::signedPercent(const Estimate<double>& e) {
    if (!e.isKnown()) return "unknown \u2014 " + e.unknownReason().text();
    double v = e.knownValue();
    // Appended rather than prepended: g++ 12 warns (-Wrestrict) on "+" + std::string&&.
    std::string out = v >= 0 ? "+" : "";
    out += format("%.1f%%", v);
    return out;
}

std::string AnswerText::percentFigure(const PercentFigure& p, bool withSign) {
    if (!p.isKnown()) return "unknown \u2014 " + p.reason;
    return p.text(withSign);
}

std::string AnswerText::fractionEst(const Estimate<double>& e) {
    if (!e.isKnown()) return "unknown \u2014 " + e.unknownReason().text();
    return format("%.1f%%", e.knownValue() * 100);
}

std::optional<std::string> AnswerText::models(const Bucket& b) {
    if (b.modelCounts.empty()) return std::nullopt;
    std::string out;
    for (const auto& [model, n] : b.modelsByUse()) {
        if (!out.empty()) out += ' ';
        out += name(model);
        out += "\u00d7" + count(n);
    }
    return out;
}

std::string AnswerText::fit(std::string_view label, int width) {
    if (width <= 0) return {};
    auto w = static_cast<std::size_t>(width);
    // Cut before isolating, so that a cut never drops the closing isolate; the isolates
    // take no room on screen and are not counted.
    const std::string clean = text::cleanedName(label);
    std::string_view head = text::prefixCharacters(clean, w);
    if (head.size() < clean.size()) // cut: the last place says so
        return name(std::string(text::prefixCharacters(clean, w - 1)) + "\u2026");
    std::string out = name(head);
    std::size_t have = text::characterCount(head);
    if (have < w) out.append(w - have, ' ');
    return out;
}

std::string AnswerText::bucketLine(std::string_view label, const Bucket& b, int width) {
    std::string s = "  " + fit(label, width) + "  " + cost(b) + "  \u00b7  " +
                    noun(b.requests, "request", "requests") + "  \u00b7  " +
                    tokens(b.totalTokens()) + " tokens";
    if (auto m = models(b)) s += "  \u00b7  " + *m;
    return s;
}

std::string AnswerText::span(const Bucket& b, const Calendar& cal) {
    if (!b.firstActivity || !b.lastActivity) return "unknown";
    return stamp(b.firstActivity, cal) + " \u2192 " + stamp(b.lastActivity, cal);
}

std::optional<std::string> AnswerText::unpricedNote(const Bucket& b) {
    if (b.cost.unpricedRequests < 1) return std::nullopt;
    return "WARNING: " + noun(b.cost.unpricedRequests, "request", "requests") +
           " with no known price (" + names(b.cost.unpricedModels, ", ") +
           ") are not included \u2014 the figures above are lower bounds.";
}

std::optional<std::string> AnswerText::assumedNote(const Bucket& b) {
    if (b.cacheWriteAssumedRequests < 1) return std::nullopt;
    return "NOTE: for " + noun(b.cacheWriteAssumedRequests, "request", "requests") +
           " the cache_creation breakdown was missing or did not add up; 5m was assumed "
           "(multiplier 1.25 instead of 2.00).";
}

std::string AnswerText::agent(const AgentIdentity& id, bool quoteRawId) {
    const std::string raw =
        quoteRawId ? name(text::quotedName(id.rawIdText())) : name(id.rawIdText());
    switch (id.kind()) {
    case AgentIdentity::Kind::named:
        // A name that prints as nothing would leave the text without one.
        if (text::trimmed(text::cleanedName(id.name())).empty())
            return name(text::quotedName(id.rawIdText())) + "  [" + raw + "]";
        return name(id.name()) + "  [" + raw + "]";
    case AgentIdentity::Kind::anonymous:
        return "anonymous agent  [" + raw + "]";
    case AgentIdentity::Kind::main:
        break;
    }
    return "main session (no agentId)";
}

std::string AnswerText::agentLabel(const AgentIdentity& id) {
    switch (id.kind()) {
    case AgentIdentity::Kind::named: {
        // A name that prints as nothing, or as what stands for the main session, would
        // reach nothing or the main session: the raw id, quoted, stands in for it.
        const std::string key = text::lowercased(text::trimmed(text::cleanedName(id.name())));
        if (key.empty() || key == "main" || key == "main session" || key == "main-session" ||
            key == "(main session)")
            return name(text::quotedName(id.rawIdText()));
        return name(id.name());
    }
    case AgentIdentity::Kind::anonymous:
        return "anon:" + name(text::prefixCharacters(text::cleanedName(id.rawIdText()), 9));
    case AgentIdentity::Kind::main:
        break;
    }
    return "(main session)";
}

std::string AnswerText::sessionLabel(std::string_view id) {
    return name(text::prefixCharacters(text::cleanedName(id), 12));
}

} // namespace vantery::mcp
