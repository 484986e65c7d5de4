// `aggregate`: one full scan, then the aggregation of every record into a report
// without hours and with hours, timed on one thread.
#include <algorithm>
#include <cstdio>

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

Run timeAggregation(const vantery::Aggregator& aggregator,
                    const std::vector<vantery::UsageRecord>& records,
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
    const std::string home = args.require("home");
    const int repeat =
        static_cast<int>(std::clamp<std::int64_t>(args.integer("repeat", 5), 1, 1000));
    args.finish();

    double t0 = bench::now();
    auto scanned = vantery::Scanner::scan(vantery::SourceHome::defaults(home), true);
    double scanSeconds = bench::now() - t0;
    const auto& records = scanned.records;

    // One aggregator for all runs, as the programs keep one: its resolver's memo is
    // filled by the first run.
    vantery::Aggregator aggregator(vantery::Calendar::current(),
                                   vantery::ProjectResolver(home, true));
    Run plain = timeAggregation(aggregator, records, scanned.diagnostics, false, repeat);
    Run hours = timeAggregation(aggregator, records, scanned.diagnostics, true, repeat);

    const auto& r = plain.report;
    ordered_json out;
    out["records"] = records.size();
    out["zone"] = aggregator.calendar().zoneName();
    out["scanSeconds"] = scanSeconds;
    out["repeat"] = repeat;
    out["withoutHours"] = figures(plain, records.size());
    out["withHours"] = figures(hours, records.size());
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
    return r.total.requests == static_cast<std::int64_t>(records.size()) ? 0 : 1;
}

} // namespace bench
