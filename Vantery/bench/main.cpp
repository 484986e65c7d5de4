// vantery-app-bench: the usage store over a synthetic history of a million requests.
// Measures the GUI-thread time of a refresh's publish, the time from a preset change to
// its published range report, the longest stall of a 5 ms GUI timer while the scan and
// the range computations run, the process's peak memory with the history loaded, and the
// three exports of a 400-day range with the GUI's longest stall during each. With
// --refreshes N it measures instead how resident memory grows over N refreshes of a
// growing transcript.
//
//   vantery-app-bench [--requests N] [--dir DIR] [--refreshes N]
//   vantery-app-bench provenance [--requests N] [--days D]   (opening Provenance nodes)
// DIR (default: a new temporary folder, removed at the end) is the home and holds the
// cache file; an existing DIR with transcripts is reused as it is.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <vector>

#include <fmt/format.h>

#include "StallMeter.hpp"
#include "SyntheticHome.hpp"
#include "model/UsageStore.hpp"
#include "vantery/base/AllocatorRetention.hpp"

using vantery::RangePreset;
using vantery::RangeSelection;
using vantery::app::UsageStore;
using vantery::app::bench::StallMeter;

namespace {

double peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

double wallNow() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

// Runs the event loop until the signal fires (or the timeout passes).
template <class Signal> bool waitFor(UsageStore& store, Signal signal, int timeoutMs = 600'000) {
    QEventLoop loop;
    bool fired = false;
    auto c = QObject::connect(&store, signal, &loop, [&] {
        fired = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(c);
    return fired;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

constexpr const char* usage =
    "usage: vantery-app-bench [--requests N] [--dir DIR] [--refreshes N]\n"
    "       vantery-app-bench provenance [--requests N] [--days D]\n"
    "\n"
    "Times the usage store over a synthetic history: a full scan and save, refreshes,\n"
    "preset changes and the GUI thread's stalls, then prints the peak memory.\n"
    "`provenance` times opening Provenance nodes over a generated table instead.\n"
    "\n"
    "  --requests N  requests in the history (default 1000000)\n"
    "  --dir DIR     the home, holding the cache file; transcripts already there are\n"
    "                reused (default: a temporary folder, removed at the end)\n"
    "  --refreshes N after the first load, append to a transcript and refresh N times\n"
    "                instead, then print how much resident memory grew from the 10th\n"
    "  --days D      provenance: days the history spans (default 90)\n"
    "  --help        this text\n";

/// Parses "--flag value" pairs into `set`; false (after saying why) on anything else.
bool parseFlags(int argc, char** argv,
                const std::function<bool(std::string_view, const char*)>& set) {
    for (int i = 0; i < argc; i += 2) {
        if (i + 1 >= argc || !set(argv[i], argv[i + 1])) {
            std::fprintf(stderr, "vantery-app-bench: bad argument '%s'\n%s", argv[i], usage);
            return false;
        }
    }
    return true;
}

} // namespace

int provenanceBench(std::size_t requests, int days);
bool exportBench(UsageStore& store, StallMeter& stalls, const std::string& folder);
int soakBench(UsageStore& store, const std::string& home, int refreshes);

int main(int argc, char** argv) {
    // The app's own allocator setting, so that its memory and times are measured.
    vantery::boundAllocatorRetention();
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(usage, stdout);
            return 0;
        }
    }
    const bool provenance = argc >= 2 && !std::strcmp(argv[1], "provenance");
    std::int64_t requests = 1'000'000;
    int days = 90;
    int refreshes = 0;
    std::string dir;
    const bool parsed = parseFlags(argc - (provenance ? 2 : 1), argv + (provenance ? 2 : 1),
                                   [&](std::string_view flag, const char* value) {
                                       char* end = nullptr;
                                       if (flag == "--requests") {
                                           requests = std::strtoll(value, &end, 10);
                                           return *end == 0 && requests > 0;
                                       }
                                       if (flag == "--days" && provenance) {
                                           days = static_cast<int>(std::strtol(value, &end, 10));
                                           return *end == 0 && days > 0;
                                       }
                                       if (flag == "--refreshes" && !provenance) {
                                           refreshes =
                                               static_cast<int>(std::strtol(value, &end, 10));
                                           return *end == 0 && refreshes > 0;
                                       }
                                       if (flag == "--dir" && !provenance) {
                                           dir = value;
                                           return !dir.empty();
                                       }
                                       return false;
                                   });
    if (!parsed) return 2;
    if (provenance) return provenanceBench(static_cast<std::size_t>(requests), days);
    QCoreApplication app(argc, argv);
    QTemporaryDir temp;
    if (dir.empty()) dir = temp.path().toStdString();

    if (!std::filesystem::exists(dir + "/.claude")) {
        QElapsedTimer t;
        t.start();
        const auto bytes = vantery::app::bench::writeSyntheticHome(dir, requests, wallNow());
        fmt::print("wrote {} requests ({:.0f} MiB of transcripts) in {:.1f} s\n", requests,
                   static_cast<double>(bytes) / 1048576.0, static_cast<double>(t.elapsed()) / 1e3);
    }
    std::filesystem::remove(dir + "/scan-cache.bin");
    fmt::print("peak memory before the store: {:.0f} MiB\n", peakMiB());

    UsageStore::Options options;
    options.home = dir;
    options.cachePath = dir + "/scan-cache.bin";
    options.timerIntervalMs = 3'600'000;

    StallMeter stalls;
    QElapsedTimer publish;
    double publishMs = 0, stallBeforePublishMs = 0;
    std::vector<double> publishes;

    stalls.reset();
    QElapsedTimer firstLoad;
    firstLoad.start();
    UsageStore store(options);
    // A publish runs on the GUI thread from the first signal it emits to the last.
    QObject::connect(&store, &UsageStore::refreshStatsChanged, [&] {
        stallBeforePublishMs = stalls.longestMs();
        publish.start();
    });
    QObject::connect(&store, &UsageStore::refreshPublished, [&] {
        publishMs = static_cast<double>(publish.nsecsElapsed()) / 1e6;
        publishes.push_back(publishMs);
    });
    if (!waitFor(store, &UsageStore::refreshPublished)) return 1;
    const double firstLoadS = static_cast<double>(firstLoad.elapsed()) / 1e3;
    waitFor(store, &UsageStore::rangeReportChanged);
    fmt::print(
        "first load (scan {} files, save, rosters, publish): {:.1f} s; {} requests, {} today\n",
        store.refreshStats()->filesTotal, firstLoadS, store.history().total.requests,
        store.today().total.requests);
    fmt::print("  longest GUI stall while the first scan ran: {:.1f} ms\n", stallBeforePublishMs);
    if (refreshes > 0) return soakBench(store, dir, refreshes);

    // Timed refreshes over an unchanged home: the steady state every 90 seconds.
    stalls.reset();
    for (int i = 0; i < 5; ++i) {
        store.refresh();
        waitFor(store, &UsageStore::refreshPublished);
        waitFor(store, &UsageStore::rangeReportChanged);
    }
    const double refreshStallMs = stalls.longestMs();
    fmt::print("publish on the GUI thread (history, today, roster with coverage, inventory):\n"
               "  first {:.1f} ms, median of 5 later refreshes {:.1f} ms (target < 250 ms);\n"
               "  longest GUI stall over those refreshes, publish included: {:.1f} ms\n",
               publishes.front(), median({publishes.begin() + 1, publishes.end()}), refreshStallMs);

    std::vector<double> presetMs, presetStallMs;
    for (RangePreset preset :
         {RangePreset::last7Days, RangePreset::lastMonth, RangePreset::yearToDate,
          RangePreset::last30Days, RangePreset::thisMonth}) {
        RangeSelection selection = store.rangeSelection();
        selection.preset = preset;
        stalls.reset();
        QElapsedTimer t;
        t.start();
        store.selectRange(selection);
        if (!waitFor(store, &UsageStore::rangeReportChanged)) return 1;
        presetMs.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        presetStallMs.push_back(stalls.longestMs());
        fmt::print("  {:<13} {:7.1f} ms to the report ({} requests), longest GUI stall {:.1f} ms\n",
                   std::string(preset.label()), presetMs.back(), store.rangeReport().total.requests,
                   presetStallMs.back());
    }
    fmt::print(
        "preset change to published report: median {:.1f} ms, worst {:.1f} ms (target < 300 ms);\n"
        "  longest GUI stall while ranges computed {:.1f} ms\n",
        median(presetMs), *std::max_element(presetMs.begin(), presetMs.end()),
        *std::max_element(presetStallMs.begin(), presetStallMs.end()));
    fmt::print("peak memory with the history loaded: {:.0f} MiB (target < 300 MiB)\n", peakMiB());
    return exportBench(store, stalls, dir + "/exports") ? 0 : 1;
}
