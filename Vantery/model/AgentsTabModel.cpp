#include "model/AgentsTabModel.hpp"

#include <algorithm>
#include <numeric>

#include "model/Fmt.hpp"
#include "model/QtText.hpp"
#include "vantery/base/Text.hpp"
#include "vantery/report/Derived.hpp"

namespace vantery::app::AgentsTabModel {

namespace {

std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& p : parts) {
        if (!out.empty()) out += " \u00b7 ";
        out += p;
    }
    return out;
}

} // namespace

std::string scopeLabel(Scope scope) {
    return scope == Scope::today ? "Today" : "All history";
}

Split split(const Report& report) {
    const SubagentSplit s = report.subagentSplit();
    Split out;
    out.main = s.main;
    out.subagent = s.subagent;
    CostEstimate mainCost, subagentCost;
    std::int64_t requests = 0, agents = 0;
    const AgentBuckets& all = report.byAgent;
    for (std::size_t i = 0; i < all.size(); ++i) {
        requests += all.requests(i);
        if (all.agent(i).isSubagent()) {
            subagentCost += all.cost(i);
            ++agents;
        } else {
            mainCost += all.cost(i);
        }
    }
    if (requests == 0) {
        out.unknownText = "unknown \u2014 " + UnknownReason::noData().text();
        return out;
    }
    // With nothing priced there is no share to give; a side left open by unpriced
    // requests gives a bound or says why it gives none, as the server does.
    const bool priced = s.main + s.subagent > 0;
    const PercentFigure mainShare = Derived::share(s.mainCost(), s.wholeCost());
    const auto note = [&](const CostEstimate& part) -> std::optional<std::string> {
        if (!priced) return std::nullopt;
        const PercentFigure p = Derived::share(part, s.wholeCost());
        return p.isKnown() ? p.text() : "share unknown \u2014 " + p.reason;
    };
    auto mainNote = note(s.mainCost()), subagentNote = note(s.subagentCost());
    // The bar drawn at the priced proportions would look exact: it takes the tiles' marks.
    using K = PercentFigure::Kind;
    if (mainShare.kind == K::unknown) {
        out.look = BarLook::unknown;
        out.barTip = "share unknown \u2014 " + mainShare.reason;
    } else if (mainShare.kind != K::exact) {
        out.look = mainShare.kind == K::atLeast ? BarLook::mainAtLeast : BarLook::subagentAtLeast;
        out.barTip = "main session " + *mainNote + " \u00b7 sub-agents " + *subagentNote;
    }
    out.costTiles = {{"main session", std::move(mainCost), std::move(mainNote)},
                     {"sub-agents", std::move(subagentCost), std::move(subagentNote)}};
    out.tiles = {countTile("distinct agents", agents)};
    return out;
}

SplitBar splitBar(const Split& split, double width) {
    const double total = split.main + split.subagent;
    SplitBar bar;
    bar.look = split.look;
    if (!(total > 0) || width <= 0 || split.look == BarLook::unknown) return bar;
    bar.mainWidth = width * split.main / total;
    bar.subagentX = bar.mainWidth + 2;
    bar.subagentWidth = std::max(0.0, width - bar.subagentX);
    return bar;
}

std::optional<std::string> accessory(const Report& report, const AgentRoster& roster,
                                     const AgentIdentity& agent) {
    std::vector<std::string> parts;
    if (auto s = report.agentSession.find(agent); s != report.agentSession.end()) {
        parts.push_back("session " + std::string(text::prefixCharacters(s->second, 8)));
        if (auto entry = roster.entry(agent, s->second)) {
            if (entry->agentType) parts.push_back("type " + *entry->agentType);
            if (entry->model) parts.push_back("model " + *entry->model);
        }
    }
    if (auto p = report.agentProject.find(agent); p != report.agentProject.end())
        parts.push_back(p->second);
    if (parts.empty()) return std::nullopt;
    return joined(parts);
}

namespace {
// Locale-aware lower case, then Unicode case folding, over the composed form: "MAIN",
// "Main" and "main" meet, and so do the two spellings of an accented letter.
QString foldWith(const QLocale& locale, std::string_view text) {
    return locale.toLower(qs(text).normalized(QString::NormalizationForm_C)).toCaseFolded();
}
} // namespace

bool matches(std::string_view label, std::string_view query, const QLocale& locale) {
    if (query.empty()) return true;
    return foldWith(locale, label).contains(foldWith(locale, query));
}

AgentRanking::AgentRanking(std::shared_ptr<const Report> report,
                           std::shared_ptr<const AgentRoster> roster, const QLocale& locale)
    : locale_(locale), report_(std::move(report)), roster_(std::move(roster)) {}

QString AgentRanking::fold(std::string_view text) const {
    return foldWith(locale_, text);
}

Ranking AgentRanking::filtered(std::string_view query) const {
    static const AgentBuckets none;
    const AgentBuckets& agents = report_ ? report_->byAgent : none;
    std::vector<std::size_t> kept;
    kept.reserve(agents.size());
    if (query.empty()) {
        kept.resize(agents.size());
        std::iota(kept.begin(), kept.end(), std::size_t{0});
    } else {
        if (folded_.size() != agents.size()) {
            folded_.clear();
            folded_.reserve(agents.size());
            for (std::size_t i = 0; i < agents.size(); ++i)
                folded_.push_back(fold(agents.agent(i).label()));
        }
        const QString q = fold(query);
        for (std::size_t i = 0; i < folded_.size(); ++i)
            if (folded_[i].contains(q)) kept.push_back(i);
    }
    // Only the shown rows are ordered; equal costs keep the report's order.
    const std::size_t shown = std::min(kept.size(), static_cast<std::size_t>(rowLimit));
    std::partial_sort(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(shown), kept.end(),
                      [&](std::size_t a, std::size_t b) {
                          if (agents.priced(a) != agents.priced(b))
                              return agents.priced(b) < agents.priced(a);
                          return a < b;
                      });

    Ranking out;
    out.count = static_cast<std::int64_t>(kept.size());
    out.title = std::string(rankingTitle) + " (" + std::to_string(out.count) + ")";
    out.rows.reserve(shown);
    const AgentRoster noRoster;
    for (std::size_t i = 0; i < shown; ++i) {
        const AgentIdentity& agent = agents.agent(kept[i]);
        AgentRow row;
        row.isMain = !agent.isSubagent();
        row.row = {agent.label(), agents.bucket(kept[i]),
                   accessory(*report_, roster_ ? *roster_ : noRoster, agent)};
        out.rows.push_back(std::move(row));
    }
    if (out.count > rowLimit)
        out.caption =
            "showing the first " + std::to_string(rowLimit) + " of " + std::to_string(out.count);
    return out;
}

std::string coverageText() {
    return "The name comes out of the `agentId` itself (`areport-writer-3c9d0a7e51b2f846` \u2192 "
           "`report-writer`). "
           "Team rosters add the type and the model, but they are deleted after the session, so "
           "they cover little. "
           "Agents with no name in the id stay **declared anonymous** \u2014 they get no invented, "
           "plausible label.";
}

QString emphasized(std::string_view text) {
    const QStringList parts = qs(text).split(QStringLiteral("**"));
    QString out;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        // Odd parts sit between a pair of markers; a lone marker stays as typed.
        const bool bold = i % 2 == 1 && i + 1 < parts.size();
        if (i % 2 == 1 && !bold) out += QStringLiteral("**");
        out += bold ? "<b>" + parts[i].toHtmlEscaped() + "</b>" : parts[i].toHtmlEscaped();
    }
    return out;
}

std::vector<TileText> coverageTiles(const RosterCoverage& c) {
    return {
        countTile("named agents", c.namedAgentsSeen),
        countTile("anonymous", c.anonymousAgentsSeen, "no name in the id and no roster"),
        makeTile(
            "enriched from roster", c.matchFraction(),
            [](double f) { return Fmt::fixed(f * 100.0, 1) + "%"; },
            std::to_string(c.entriesLoaded) + " entries from " + std::to_string(c.rostersRead) +
                " rosters"),
    };
}

std::string rosterPrivacyText() {
    return "Only `agentId`, `name`, `agentType`, `model` and `cwd` are read from a roster. The "
           "type that carries them "
           "has no field for `prompt`, so prompt content cannot reach the app.";
}

} // namespace vantery::app::AgentsTabModel
