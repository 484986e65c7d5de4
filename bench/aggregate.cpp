// `aggregate`: a table of requests, from one full scan of a home or generated in memory
// with many sub-agents, then its aggregation into a report without hours and with
// hours, timed on one thread.
#include <algorithm>
#include <cstdio>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "BenchUtil.hpp"
#include "vantery/ingest/Scanner.hpp"
#include "vantery/report/Aggregator.hpp"
#include "vantery/report/Report.hpp"

namespace bench {
namespace {

using nlohmann::ordered_json;

struct Run {
    double coldSeconds = 0; // first run: the resolver still looks at the disk
    double bestSeconds = 0;
    vantery::Report report;
};

constexpr const char* usage =
    "usage: vantery-bench aggregate --home DIR [--repeat N]\n"
    "       vantery-bench aggregate --agents N [--requests M] [--repeat N]\n"
    "  --home DIR     scan the four Claude homes under DIR, then aggregate the requests\n"
    "  --agents N     aggregate a history generated in memory as the app's bench builds\n"
    "                 one: 40 N requests, a quarter of them by sub-agents (a new agent\n"
    "                 every 40 requests) interleaved with the main sessions', 97\n"
    "                 sessions, 200 directories, three models over 90 days\n"
    "  --requests M   the generated history's size instead (up to M / 40 agents)\n"
    "  --repeat N     timed runs after the first (default 5); the best is reported\n"
    "Prints the timings and the report's sizes as JSON.\n";

// The agent-heavy history: deterministic, newest first.
std::vector<vantery::UsageRecord> agentHeavy(std::int64_t requests) {
    const char* models[] = {"claude-haiku-4-5", "claude-sonnet-4-5", "claude-opus-4-5"};
    const double now = 1.78e9, days = 90;
    std::vector<vantery::UsageRecord> out;
    out.reserve(static_cast<std::size_t>(requests));
    std::uint64_t x = 88172645463325252ULL;
    for (std::int64_t i = 0; i < requests; ++i) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        vantery::UsageRecord r;
        r.timestamp = now - days * 86400.0 * static_cast<double>(i) / static_cast<double>(requests);
        const auto project = static_cast<int>(x % 200);
        r.sessionId = fmt::format("s{}", project % 97);
        r.rawCwd = fmt::format("/w/client-{:04}", project);
        r.sourceHome = ".claude";
        r.model = models[(x >> 30) % 3];
        if ((x >> 40) % 4 == 0)
            r.agent =
                vantery::AgentIdentity::parse(std::string_view(fmt::format("a{:016x}", i / 40)));
        r.input = static_cast<std::int64_t>(200 + (x >> 12) % 4000);
        r.output = static_cast<std::int64_t>(50 + (x >> 22) % 2000);
        r.cacheRead = static_cast<std::int64_t>((x >> 32) % 60000);
        out.push_back(std::move(r));
    }
    return out;
}

Run timeAggregation(const vantery::Aggregator& aggregator, const vantery::RequestTable& records,
                    const vantery::ScanDiagnostics& diagnostics, bool hours, int repeat) {
    Run run;
    for (int i = 0; i <= repeat; ++i) {
        double t0 = bench::now();
        auto report = aggregator.aggregate(records, std::nullopt, std::nullopt, diagnostics, hours);
        double seconds = bench::now() - t0;
        if (i == 0) {
            run.coldSeconds = seconds;
            run.bestSeconds = seconds;
            run.report = std::move(report);
        } else {
            run.bestSeconds = std::min(run.bestSeconds, seconds);
        }
    }
    return run;
}

ordered_json figures(const Run& run, std::size_t records) {
    auto rate = [records](double s) { return s > 0 ? static_cast<double>(records) / s : 0.0; };
    return {{"coldSeconds", run.coldSeconds},
            {"bestSeconds", run.bestSeconds},
            {"recordsPerSecond", rate(run.bestSeconds)},
            {"coldRecordsPerSecond", rate(run.coldSeconds)}};
}

} // namespace

int aggregate(Args& args) {
    if (args.flag("help")) {
        std::fputs(usage, stdout);
        return 0;
    }
    const auto home = args.get("home");
    const std::int64_t agents = args.integer("agents", 0);
    const std::int64_t requests = args.integer("requests", agents * 40);
    const int repeat =
        static_cast<int>(std::clamp<std::int64_t>(args.integer("repeat", 5), 1, 1000));
    args.finish();
    if (home.has_value() == (agents > 0 || args.get("requests").has_value()))
        throw UsageError("give either --home or --agents N > 0");
    if (!home && requests < 1) throw UsageError("--requests must be at least 1");

    double t0 = bench::now();
    vantery::ScanDiagnostics diagnostics;
    std::vector<vantery::UsageRecord> records;
    if (home) {
        auto scanned = vantery::Scanner::scan(vantery::SourceHome::defaults(*home), true);
        records = std::move(scanned.records);
        diagnostics = std::move(scanned.diagnostics);
    } else {
        records = agentHeavy(requests);
    }
    const double scanSeconds = bench::now() - t0;
    const auto table = vantery::RequestTable::fromRecords(records);
    records = {};

    // One aggregator for all runs, as the programs keep one: its resolver's memo is
    // filled by the first run.
    vantery::Aggregator aggregator(vantery::Calendar::current(),
                                   vantery::ProjectResolver(home.value_or("/nonexistent"), true));
    Run plain = timeAggregation(aggregator, table, diagnostics, false, repeat);
    Run hours = timeAggregation(aggregator, table, diagnostics, true, repeat);

    const auto& r = plain.report;
    ordered_json out;
    out["mode"] = home ? "home" : "agents";
    out["records"] = table.size();
    out["zone"] = aggregator.calendar().zoneName();
    out["scanSeconds"] = scanSeconds;
    out["repeat"] = repeat;
    out["withoutHours"] = figures(plain, table.size());
    out["withHours"] = figures(hours, table.size());
    out["report"] = {{"requests", r.total.requests},
                     {"priced", r.total.cost.priced},
                     {"unpricedRequests", r.total.cost.unpricedRequests},
                     {"days", r.byDay.size()},
                     {"hours", hours.report.byHour.size()},
                     {"models", r.byModel.size()},
                     {"projects", r.byProject.size()},
                     {"rawCwds", r.byRawCwd.size()},
                     {"sessions", r.bySession.size()},
                     {"agents", r.byAgent.size()},
                     {"homes", r.bySource.size()}};
    out["peakRssBytes"] = peakRssBytes();
    std::printf("%s\n", out.dump(2).c_str());
    return r.total.requests == static_cast<std::int64_t>(table.size()) ? 0 : 1;
}

} // namespace bench
