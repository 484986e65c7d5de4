// `scan`: the full scan of a home with its figures, next to a baseline that only
// reads the same files with the same number of threads.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "BenchUtil.hpp"
#include "ScanSearch.hpp"
#include "base/Parallel.hpp"
#include "ingest/LineReader.hpp"
#include "vantery/base/Calendar.hpp"
#include "vantery/cache/KeptRefresh.hpp"
#include "vantery/cache/ScanCache.hpp"
#include "vantery/ingest/Scanner.hpp"

namespace bench {
namespace {

using nlohmann::ordered_json;

std::size_t workerCount(std::size_t files, bool parallel) {
    if (!parallel) return 1;
    return std::max<std::size_t>(1, std::min(files, vantery::parallel::maxThreads()));
}

// Reads every file in 1 MiB blocks and does nothing else; returns the bytes read.
std::uint64_t readOnly(const std::vector<vantery::TranscriptFile>& files, std::size_t workers) {
    std::atomic<std::size_t> next{0};
    std::atomic<std::uint64_t> total{0};
    auto work = [&] {
        std::vector<char> block(vantery::LineReader::blockSize);
        std::uint64_t bytes = 0;
        for (std::size_t i; (i = next.fetch_add(1)) < files.size();) {
            int fd = ::open(files[i].path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) continue;
            for (ssize_t n; (n = ::read(fd, block.data(), block.size())) > 0;)
                bytes += static_cast<std::uint64_t>(n);
            ::close(fd);
        }
        total += bytes;
    };
    std::vector<std::thread> threads;
    for (std::size_t w = 1; w < workers; ++w)
        threads.emplace_back(work);
    work();
    for (auto& t : threads)
        t.join();
    return total;
}

} // namespace

int scan(Args& args) {
    const std::string home = args.require("home");
    const bool parallel = !args.flag("serial");
    const bool timing = !args.flag("no-timing");
    const bool search = args.flag("search");
    const std::int64_t threads = args.integer("threads", 0);
    const std::optional<std::string> cacheFile = args.get("cache");
    args.finish();
    if (threads < 0) throw UsageError("--threads must be at least 1");
    vantery::parallel::setMaxThreads(static_cast<std::size_t>(threads));

    const auto homes = vantery::SourceHome::defaults(home);
    double baselineSeconds = 0;
    if (timing) {
        auto files = vantery::Scanner::fileList(homes, nullptr);
        auto workers = workerCount(files.size(), parallel);
        readOnly(files, workers); // warms the page cache for both runs
        double t0 = bench::now();
        readOnly(files, workers);
        baselineSeconds = bench::now() - t0;
    }

    double t0 = bench::now();
    std::shared_ptr<const vantery::RequestTable> table;
    vantery::ScanDiagnostics d;
    if (cacheFile) {
        // The cached table: loaded, brought up to date and kept, as the programs do.
        vantery::ScanCache cache(*cacheFile);
        const bool loaded = cache.load();
        auto kept = vantery::refreshAndKeep(cache, homes);
        std::fprintf(stderr, "cache %s: %s, %lld files read again\n", cacheFile->c_str(),
                     loaded ? "loaded" : "not loaded",
                     static_cast<long long>(kept.refresh.stats.filesNew +
                                            kept.refresh.stats.filesGrown +
                                            kept.refresh.stats.filesRewound));
        table = kept.refresh.table;
        d = std::move(kept.refresh.diagnostics);
    } else {
        auto scanned = vantery::Scanner::scanTable(homes, parallel);
        table = std::move(scanned.table);
        d = std::move(scanned.diagnostics);
    }
    double scanSeconds = bench::now() - t0;

    ordered_json diagnostics = {
        {"filesScanned", d.filesScanned},
        {"filesUnreadable", d.filesUnreadable.size()},
        {"bytesRead", d.bytesRead},
        {"usageLinesSeen", d.usageLines},
        {"linesRejectedInvalidJSON", d.rejectedInvalidJSON},
        {"linesRejectedNoMessage", d.rejectedNoMessage},
        {"linesNotUsageBearing", d.notUsageBearing},
        {"linesRejectedNoTimestamp", d.rejectedNoTimestamp},
        {"linesRejectedNoIdentity", d.rejectedNoIdentity},
        {"linesSkippedZeroUsage", d.skippedZeroUsage},
        {"longestLineBytes", d.longestLineBytes},
        {"longestLinePath", d.longestLinePath},
        {"uniqueRequests", d.uniqueRequests},
    };
    if (timing) diagnostics["duration"] = d.duration;
    ordered_json perHome = ordered_json::object();
    for (const auto& [name, count] : d.perHome)
        perHome[name] = count;
    diagnostics["perHome"] = perHome;

    // Sums and prices over the requests in the table's canonical order: the same
    // figures, to the last digit, whatever the threads or the cache.
    const auto calendar = vantery::Calendar::current();
    vantery::RequestCounts sums;
    std::int64_t assumed = 0;
    vantery::CostEstimate cost;
    struct ModelFigures {
        std::int64_t requests = 0;
        double priced = 0;
    };
    std::map<std::string, ModelFigures> byModel;
    for (const vantery::RequestRow& row : *table) {
        const vantery::UsageRecord r = table->record(row);
        sums.accumulate(r);
        if (r.cacheWriteBreakdownAssumed) ++assumed;
        auto& m = byModel[r.model];
        ++m.requests;
        auto c = r.cost(calendar.dayOf(r.timestamp));
        if (c.isKnown()) {
            cost.priced += c.knownValue();
            m.priced += c.knownValue();
        } else {
            ++cost.unpricedRequests;
            cost.unpricedModels.insert(r.model);
        }
    }

    ordered_json out;
    out["diagnostics"] = diagnostics;
    out["totals"] = {{"input", sums.input},
                     {"output", sums.output},
                     {"cacheWrite5m", sums.cacheWrite5m},
                     {"cacheWrite1h", sums.cacheWrite1h},
                     {"cacheRead", sums.cacheRead},
                     {"webSearch", sums.webSearch},
                     {"webFetch", sums.webFetch},
                     {"cacheWriteBreakdownAssumed", assumed}};
    out["cost"] = {{"priced", cost.priced},
                   {"unpricedRequests", cost.unpricedRequests},
                   {"unpricedModels", cost.unpricedModels}};
    ordered_json models = ordered_json::object();
    for (const auto& [model, f] : byModel)
        models[model] = {{"requests", f.requests}, {"priced", f.priced}};
    out["byModel"] = models;
    if (timing) {
        double bytes = static_cast<double>(d.bytesRead);
        out["timing"] = {
            {"threads", workerCount(static_cast<std::size_t>(d.filesScanned), parallel)},
            {"scanSeconds", scanSeconds},
            {"bytesPerSecond", scanSeconds > 0 ? bytes / scanSeconds : 0.0},
            {"baselineSeconds", baselineSeconds},
            {"baselineBytesPerSecond", baselineSeconds > 0 ? bytes / baselineSeconds : 0.0},
            {"ratioToBaseline", baselineSeconds > 0 ? scanSeconds / baselineSeconds : 0.0},
            {"peakRssBytes", peakRssBytes()}};
        if (search) {
            const auto files = vantery::Scanner::fileList(homes, nullptr);
            out["timing"]["search"] =
                searchTiming(files, workerCount(files.size(), parallel), d.bytesRead);
        }
    }
    std::printf("%s\n", out.dump(2).c_str());
    return 0;
}

} // namespace bench
