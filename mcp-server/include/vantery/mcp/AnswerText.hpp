#pragma once
// The plain-text pieces every tool answer is built from: dates, counts, costs,
// agents, aligned list lines and notes. Widths, cuts and prefixes count
// user-perceived characters, never bytes. Every name from the data (model, project,
// session, agent, working directory, path) reaches an answer through name() or fit().
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "vantery/base/Calendar.hpp"
#include "vantery/model/AgentIdentity.hpp"
#include "vantery/model/Estimate.hpp"
#include "vantery/report/Bucket.hpp"
#include "vantery/report/Derived.hpp"

namespace vantery::mcp {

/// Static formatters of the server's answers. Pure functions: every date is shown in the
/// calendar the caller passes.
struct AnswerText {
    AnswerText() = delete;

    /// The rule line under every title: "─" (U+2500) 62 times, then a line feed.
    static const std::string rule;

    /// "yyyy-MM-dd".
    static std::string day(LocalDay d);
    /// "yyyy-MM-dd" of the local day holding the instant.
    static std::string day(double instant, const Calendar& cal);
    /// "yyyy-MM-dd HH:mm" in local time; "unknown" when absent.
    static std::string stamp(std::optional<double> instant, const Calendar& cal);

    /// Decimal digits grouped by three with ","; a leading "-" when negative.
    static std::string count(std::int64_t n);
    /// count(n) and the singular when |n| is 1, else the plural.
    static std::string noun(std::int64_t n, std::string_view singular, std::string_view plural);
    /// Compact token count: 999, 1.0k, 1.23M, 2.50G.
    static std::string tokens(std::int64_t n);
    /// The texts in set order, `separator` between them.
    static std::string joined(const std::set<std::string>& texts, std::string_view separator);

    /// A name from the data as answers write it: text::isolatedName (control, direction and
    /// invisible characters and line separators dropped, isolated when it holds
    /// right-to-left letters).
    static std::string name(std::string_view name);

    /// The cost text of a bucket, saying "unknown (…)" when nothing could be priced.
    static std::string cost(const Bucket& bucket);
    static std::string costEst(const Estimate<CostEstimate>& e, std::string_view suffix);
    /// "+12.3%", "-4.0%"; "unknown — <reason>".
    static std::string signedPercent(const Estimate<double>& e);
    /// A percentage of costs with its bound ("≥ +12.3%" with `withSign`); "unknown — <reason>".
    static std::string percentFigure(const PercentFigure& p, bool withSign);
    /// A fraction as "12.3%"; "unknown — <reason>".
    static std::string fractionEst(const Estimate<double>& e);
    /// "model×count" pairs, commonest first; absent when the bucket names no model.
    static std::optional<std::string> models(const Bucket& bucket);

    /// A name cleaned as name() does, cut or padded with spaces to exactly `width`
    /// characters (none for width ≤ 0); isolates, when added, are not counted. A cut name
    /// ends in "…", so that a cut label is never taken for a whole one.
    static std::string fit(std::string_view label, int width);
    /// One list line, without a line feed.
    static std::string bucketLine(std::string_view label, const Bucket& bucket, int width);
    /// "first → last" activity; "unknown" when either end is absent.
    static std::string span(const Bucket& bucket, const Calendar& cal);

    static std::optional<std::string> unpricedNote(const Bucket& bucket);
    static std::optional<std::string> assumedNote(const Bucket& bucket);

    /// The full text of an agent, with its raw id; quoted (text::quotedName) when asked,
    /// for an agent whose full text another agent prints as well.
    static std::string agent(const AgentIdentity& id, bool quoteRawId = false);
    /// The short label of an agent in lists: the name, or the quoted raw id when the name
    /// prints as nothing or as one of the main session's words.
    static std::string agentLabel(const AgentIdentity& id);
    /// The first 12 characters of a session id.
    static std::string sessionLabel(std::string_view id);
};

} // namespace vantery::mcp
