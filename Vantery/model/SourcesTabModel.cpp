#include "model/SourcesTabModel.hpp"

#include "model/Fmt.hpp"

namespace vantery::app {

namespace SourcesTabModel {

namespace {

std::string plural(std::int64_t count, const char* noun) {
    return Fmt::exact(count) + " " + noun;
}

std::string percent(double value) {
    return Fmt::fixed(value, 1) + "%";
}

std::vector<SourcesHomeRow> homes(const SourcesInputs& in) {
    std::vector<SourcesHomeRow> rows;
    for (const auto& h : in.homeInventory) {
        SourcesHomeRow row;
        row.name = h.name;
        row.path = h.path;
        row.hasFiles = h.fileCount >= 1;
        if (row.hasFiles) {
            // Always plural, also for one file: the noun names the column, not the count.
            row.files = plural(h.fileCount, "files");
            row.requests = plural(h.requests, "requests");
            row.cost = h.cost;
        } else {
            row.absentText = h.exists ? "empty \u2014 normal, not an error" : "not present";
        }
        if (h.firstActivity && h.lastActivity)
            row.activitySpan = "\u00B7 " + Fmt::day(*h.firstActivity, in.userCalendar) +
                               " \u2192 " + Fmt::day(*h.lastActivity, in.userCalendar);
        rows.push_back(std::move(row));
    }
    return rows;
}

void composition(const Report& history, SourcesView& view) {
    const Bucket& t = history.total;
    view.total = t;
    const std::pair<Component, std::pair<const char*, std::int64_t>> parts[] = {
        {Component::cacheRead, {"cache read", t.cacheRead}},
        {Component::cacheWrite, {"cache write", t.cacheWrite()}},
        {Component::output, {"output", t.output}},
        {Component::input, {"input", t.input}},
    };
    for (const auto& [component, labelled] : parts)
        view.shares.push_back({component, labelled.first, Fmt::exact(labelled.second),
                               FigureTexts::estimate(share(labelled.second, t), percent)});

    view.tiles = {
        countTile("requests", t.requests), countTile("days with activity", history.activeDays()),
        costTile("median per day", history.medianPerActiveDay()),
        costTile("mean per day", history.averagePerActiveDay(), "the mean hides the real spread")};

    if (auto caveat = FigureTexts::caveat(t.cost))
        view.priceLine = {SourcesNotice::Symbol::warning, *caveat};
    else
        view.priceLine = {
            SourcesNotice::Symbol::check,
            "Every request had a known price \u2014 no request is missing from the total."};
}

void parsing(const ScanDiagnostics& d, SourcesView& view) {
    const std::int64_t rejected = d.totalRejected();
    view.parsing = {
        {"files scanned", Fmt::exact(d.filesScanned)},
        {"usage lines", Fmt::exact(d.usageLines)},
        {"unique requests after unification", Fmt::exact(d.uniqueRequests)},
        {"lines rejected", Fmt::exact(rejected)},
        {"lines that only mention \u201Cusage\u201D", Fmt::exact(d.notUsageBearing)},
        {"lines with no tokens (placeholder)", Fmt::exact(d.skippedZeroUsage)},
        {"longest line", Fmt::exact(d.longestLineBytes) + " bytes"},
        {"unreadable files", Fmt::exact(static_cast<std::int64_t>(d.filesUnreadable.size()))},
    };
    if (rejected != 0)
        view.rejection = {SourcesNotice::Symbol::warning,
                          std::to_string(rejected) +
                              " lines carrying usage data could not be used. " +
                              "They are counted here precisely so they do not pass unnoticed."};
    else
        view.rejection = {SourcesNotice::Symbol::check,
                          "No line rejected: every line that carried usage data was used."};
    if (!d.longestLinePath.empty()) view.longestLine = "Longest line: " + d.longestLinePath;
}

void cacheHealth(const SourcesInputs& in, SourcesView& view) {
    if (const auto& s = in.refreshStats) {
        const auto n = [](auto v) { return std::to_string(v); };
        view.cacheGrid = SourcesGrid{
            {"last refresh", in.lastRefresh ? Fmt::ago(*in.lastRefresh, in.now) : "unknown"},
            {"duration", Fmt::duration(s->duration)},
            {"files unchanged", n(s->filesUnchanged) + " / " + n(s->filesTotal)},
            {"grown / new / re-read",
             n(s->filesGrown) + " / " + n(s->filesNew) + " / " + n(s->filesRewound)},
            {"bytes read", Fmt::exact(static_cast<std::int64_t>(s->bytesRead))},
            {"gone", Fmt::exact(s->filesGone)},
        };
    }
    if (const auto& v = in.verification) {
        view.verdict =
            SourcesVerdict{v->isClean(), v->summary(),
                           "full verification " + Fmt::ago(v->checkedAt, in.now) + " \u00B7 took " +
                               Fmt::duration(v->duration) + " \u00B7 cache cost " +
                               CostEstimate::money(v->cachedCost) + " vs scan " +
                               CostEstimate::money(v->freshCost)};
    }
    view.unverified = {SourcesNotice::Symbol::question,
                       "No full verification in this session. The cache is unverified \u2014 that "
                       "does not mean it "
                       "is wrong, it means nobody knows."};
    view.cacheLine = "Cache: " + in.cachePath;
    if (in.refreshStats && !in.refreshStats->cacheNotKept.empty())
        view.cacheLine += " \u2014 not kept: " + in.refreshStats->cacheNotKept;
}

} // namespace

Estimate<double> share(std::int64_t tokens, const Bucket& bucket) {
    const std::int64_t total = bucket.totalTokens();
    if (total < 1) return Estimate<double>::unknown(UnknownReason::noData());
    return Estimate<double>::known(static_cast<double>(tokens) / static_cast<double>(total) *
                                   100.0);
}

SourcesView build(const SourcesInputs& in) {
    SourcesView view;
    view.cards = {
        {"Sources read", "all four Claude homes, not just the two usual ones"},
        {"What the historical total is made of",
         "the dominant component is called out, because an aggregate would hide it"},
        {"What was read and what was rejected",
         "rejected lines are counted; they do not vanish quietly"},
        {"Cache and verification",
         "a cache is an assumption only for as long as you do not check it"},
    };
    if (!in.loading) view.homes = homes(in);
    view.readOnly = {
        SourcesNotice::Symbol::eye,
        "The app only reads. It never writes, moves or deletes anything under `~/.claude*`."};
    view.loading = in.loading;
    if (!view.loading) {
        composition(in.history, view);
        parsing(in.history.diagnostics, view);
    }
    cacheHealth(in, view);
    return view;
}

} // namespace SourcesTabModel
} // namespace vantery::app
