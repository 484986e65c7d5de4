// The store's resident memory over many refreshes of a growing transcript: a tray app
// refreshes every 90 seconds for weeks, so what a refresh leaves behind must not add up.
// Growth is measured from the 10th refresh, once the pools and the caches have warmed.
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include <fmt/format.h>

#include "model/BackgroundTask.hpp"
#include "model/UsageStore.hpp"

using vantery::app::UsageStore;

namespace {

// Resident set from /proc, in MiB; 0 where there is none.
double residentMiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kib = 0;
            status >> kib;
            return kib / 1024.0;
        }
        status.ignore(4096, '\n');
    }
    return 0;
}

std::string isoUtcNow() {
    const std::time_t secs = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&secs, &tm);
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.000Z", tm.tm_year + 1900, tm.tm_mon + 1,
                       tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

// A few new requests of a main session and an agent, as a running session writes them.
bool appendLines(const std::filesystem::path& file, int refresh) {
    std::ofstream out(file, std::ios::app | std::ios::binary);
    const std::string at = isoUtcNow();
    for (int j = 0; j < 4; ++j)
        out << fmt::format(
            R"({{"type":"assistant","timestamp":"{}","requestId":"req_soak_{}_{}",)"
            R"("sessionId":"50a50a50-0000-4000-8000-000000000001","cwd":"/home/u/src/project0",)"
            R"({}"message":{{"id":"msg_soak_{}_{}","model":"claude-sonnet-4-5-20250929",)"
            R"("usage":{{"input_tokens":{},"output_tokens":120,"cache_read_input_tokens":30000,)"
            R"("cache_creation_input_tokens":0}}}}}})"
            "\n",
            at, refresh, j, j % 2 ? R"("agentId":"asoak-00000000000000a1",)" : "", refresh, j,
            100 + j);
    return static_cast<bool>(out);
}

bool waitForPublish(UsageStore& store) {
    QEventLoop loop;
    bool published = false, ranged = false;
    auto a = QObject::connect(&store, &UsageStore::refreshPublished, &loop, [&] {
        published = true;
        if (ranged) loop.quit();
    });
    auto b = QObject::connect(&store, &UsageStore::rangeReportChanged, &loop, [&] {
        ranged = published;
        if (ranged) loop.quit();
    });
    QTimer::singleShot(600'000, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(a);
    QObject::disconnect(b);
    return published && ranged;
}

} // namespace

int soakBench(UsageStore& store, const std::string& home, int refreshes) {
    const auto file =
        std::filesystem::path(home) / ".claude/projects/-home-u-src-project0/soak.jsonl";
    double baseline = 0;
    for (int i = 1; i <= refreshes; ++i) {
        if (!appendLines(file, i)) {
            std::fprintf(stderr, "vantery-app-bench: cannot append to %s\n", file.c_str());
            return 1;
        }
        store.refresh();
        if (!waitForPublish(store)) return 1;
        // What the refresh handed to the pool to free is freed before the reading.
        vantery::app::workPool().waitForDone();
        if (i == std::min(10, refreshes)) baseline = residentMiB();
        if (i % 50 == 0) fmt::print("  refresh {}: resident {:.1f} MiB\n", i, residentMiB());
    }
    fmt::print("RSS growth over {} refreshes: {:.1f} MiB\n", refreshes, residentMiB() - baseline);
    return 0;
}
