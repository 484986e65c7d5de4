// vantery-tabs-bench: how fast the Date range tab follows a preset change over a large
// history, and whether the GUI thread keeps serving events meanwhile; also grabs both
// tabs to PNG files. Writes a synthetic home of transcripts, then runs a real store.
//
//   vantery-tabs-bench [--requests N] [--projects P] [--days D] [--dir DIR] [--grab DIR]
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "model/UsageStore.hpp"
#include "vantery/base/AllocatorRetention.hpp"
#include "widgets/RangeTab.hpp"
#include "widgets/TodayTab.hpp"

namespace fs = std::filesystem;
using namespace vantery;
using namespace vantery::app;

namespace {

/// CPU time of the calling thread, in ms: tells a busy GUI thread from a descheduled one.
double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

struct Args {
    long long requests = 1'000'000;
    int projects = 2'000;
    int days = 400;
    std::string dir;
    std::string grab;
};

constexpr const char* usage =
    "usage: vantery-tabs-bench [--requests N] [--projects P] [--days D] [--dir DIR] "
    "[--grab DIR]\n"
    "\n"
    "Times the Date range tab from a preset click to its redraw over a synthetic history,\n"
    "with the GUI thread's longest gap, after a real store has loaded it.\n"
    "\n"
    "  --requests N  requests in the history (default 1000000)\n"
    "  --projects P  projects, one transcript file each (default 2000)\n"
    "  --days D      days the history spans, ending now (default 400)\n"
    "  --dir DIR     holds the home and the cache file; a home already there is reused,\n"
    "                so a second run starts with the cache present (default: a temporary\n"
    "                folder, removed at the end)\n"
    "  --grab DIR    also saves both tabs as PNG files into DIR\n"
    "  --help        this text\n";

/// The arguments, or absent (after saying why) when one is not understood.
std::optional<Args> parse(int argc, char** argv) {
    Args a;
    for (int i = 1; i < argc; i += 2) {
        const std::string k = argv[i];
        bool ok = i + 1 < argc;
        if (ok) {
            const std::string v = argv[i + 1];
            std::size_t used = 0;
            try {
                if (k == "--requests")
                    a.requests = std::stoll(v, &used);
                else if (k == "--projects")
                    a.projects = std::stoi(v, &used);
                else if (k == "--days")
                    a.days = std::stoi(v, &used);
                else if (k == "--dir")
                    a.dir = v, used = v.size();
                else if (k == "--grab")
                    a.grab = v, used = v.size();
            } catch (const std::exception&) {
                used = 0;
            }
            ok = used != 0 && used == v.size() && a.requests > 0 && a.projects > 0 && a.days > 0;
        }
        if (!ok) {
            std::fprintf(stderr, "vantery-tabs-bench: bad argument '%s'\n%s", k.c_str(), usage);
            return std::nullopt;
        }
    }
    return a;
}

std::string iso(double instant) {
    const auto t = static_cast<std::time_t>(instant);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

/// One transcript file per project; requests spread evenly over the last `days` days,
/// a quarter of them by sub-agents (a new agent every 40 requests, as sub-agent runs
/// come and go), three models, project sizes skewed.
void writeHome(const fs::path& home, const Args& a, double now) {
    const char* models[] = {"claude-haiku-4-5", "claude-sonnet-4-5", "claude-opus-4-5"};
    std::vector<std::ofstream> files;
    for (int p = 0; p < a.projects; ++p) {
        const fs::path dir = home / ".claude" / "projects" / fmt::format("-w-client-{:04}", p);
        fs::create_directories(dir);
        files.emplace_back(dir / "session.jsonl");
    }
    std::uint64_t x = 88172645463325252ULL;
    for (long long i = 0; i < a.requests; ++i) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        // Skewed: low project numbers get most requests.
        const int p = static_cast<int>((x % static_cast<std::uint64_t>(a.projects)) *
                                       ((x >> 20) % 1000) / 1000);
        const double t = now - static_cast<double>(a.days) * 86400.0 * static_cast<double>(i) /
                                   static_cast<double>(a.requests);
        const std::string agent =
            (x >> 40) % 4 == 0 ? fmt::format(R"("agentId":"a{:016x}",)", i / 40) : "";
        files[static_cast<std::size_t>(p)] << fmt::format(
            R"({{"type":"assistant","timestamp":"{}","requestId":"req_{}","sessionId":"s{}",{})"
            R"("cwd":"/w/client-{:04}","message":{{"id":"msg_{}","model":"{}",)"
            R"("usage":{{"input_tokens":{},"output_tokens":{},"cache_read_input_tokens":{}}}}}}})"
            "\n",
            iso(t), i, p % 97, agent, p, i, models[(x >> 30) % 3], 200 + (x >> 12) % 4000,
            50 + (x >> 22) % 2000, (x >> 32) % 60000);
    }
}

/// Runs the event loop until the store emits `signal`, at most `ms`.
bool waitFor(UsageStore* store, void (UsageStore::*signal)(), int ms = 600'000) {
    QEventLoop loop;
    bool came = false;
    QObject::connect(store, signal, &loop, [&] {
        came = true;
        loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return came;
}

/// Saves the whole tab, tall enough to show every card.
void grab(QWidget& w, const std::string& dir, const char* name) {
    if (dir.empty()) return;
    w.resize(840, 1900);
    QCoreApplication::processEvents();
    QDir().mkpath(QString::fromStdString(dir));
    const QString path = QString::fromStdString(dir + "/" + name);
    w.grab().save(path);
    std::printf("grabbed %s\n", qPrintable(path));
}

} // namespace

int main(int argc, char** argv) {
    vantery::boundAllocatorRetention(); // as the app does
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h") {
            std::fputs(usage, stdout);
            return 0;
        }
    }
    const auto parsed = parse(argc, argv);
    if (!parsed) return 2;
    const Args& a = *parsed;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir temp;
    const fs::path root = a.dir.empty() ? fs::path(temp.path().toStdString()) : fs::path(a.dir);
    const fs::path home = root / "home";
    const double now = static_cast<double>(std::chrono::duration_cast<std::chrono::seconds>(
                                               std::chrono::system_clock::now().time_since_epoch())
                                               .count());

    QElapsedTimer clock;
    clock.start();
    if (!fs::exists(home / ".claude")) writeHome(home, a, now);
    std::printf("history: %lld requests in %d projects over %d days (written in %lld ms)\n",
                a.requests, a.projects, a.days, static_cast<long long>(clock.restart()));

    UsageStore::Options options;
    options.home = home.string();
    options.cachePath = (root / "scan-cache.bin").string();
    options.timerIntervalMs = 3'600'000;
    UsageStore store(options);
    if (!waitFor(&store, &UsageStore::refreshPublished)) return 1;
    std::printf("store ready: %zu requests in %lld ms\n", store.table()->size(),
                static_cast<long long>(clock.restart()));

    {
        clock.restart();
        TodayTab today(store);
        today.resize(840, 720);
        today.show();
        today.repaint();
        std::printf("Today tab built and drawn in %lld ms\n",
                    static_cast<long long>(clock.elapsed()));
        grab(today, a.grab, "today-tab.png");
    }

    RangeTab range(store);
    range.resize(840, 720);
    range.show();
    waitFor(&store, &UsageStore::rangeReportChanged);
    QCoreApplication::processEvents();

    std::printf("%-11s %8s %9s %9s %9s %8s %6s %18s %8s\n", "preset", "click", "computed",
                "rebuilt", "redrawn", "projects", "ticks", "longest gap (from)", "GUI CPU");
    const char* presets[] = {"lastMonth", "last30Days", "yearToDate",
                             "last7Days", "thisMonth",  "yearToDate"};
    for (const char* id : presets) {
        auto* button = range.findChild<QAbstractButton*>(id);
        if (!button) return 1;
        // A 5 ms timer stands for the user's input: it fires only while the GUI thread is free.
        int ticks = 0;
        qint64 lastTick = 0, longestGap = 0, gapStart = 0;
        const double cpuAtStart = threadCpuMs();
        QElapsedTimer t;
        QTimer ticker;
        ticker.setInterval(5);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const qint64 e = t.elapsed();
            if (e - lastTick > longestGap) longestGap = e - lastTick, gapStart = lastTick;
            lastTick = e;
            ++ticks;
        });
        QEventLoop loop;
        qint64 redrawn = -1, computed = -1, rebuilt = -1, clicked = -1;
        // Connected after the tab, so it runs once the tab has rebuilt its cards.
        auto c = QObject::connect(&store, &UsageStore::rangeReportChanged, &loop, [&] {
            computed = t.elapsed();
            QTimer::singleShot(0, &loop, [&] {
                rebuilt = t.elapsed();
                range.repaint();
                redrawn = t.elapsed();
                loop.quit();
            });
        });
        t.start();
        ticker.start();
        button->click();
        clicked = t.elapsed();
        if (store.rangeIsComputing())
            loop.exec();
        else
            redrawn = t.elapsed(); // the same selection: nothing to compute
        ticker.stop();
        QObject::disconnect(c);
        if (redrawn - lastTick > longestGap) longestGap = redrawn - lastTick, gapStart = lastTick;
        std::printf(
            "%-11s %5lld ms %6lld ms %6lld ms %6lld ms %8zu %6d %9lld ms (%4lld) %5.0f ms\n", id,
            static_cast<long long>(clicked), static_cast<long long>(computed),
            static_cast<long long>(rebuilt), static_cast<long long>(redrawn),
            store.rangeReport().byProject.size(), ticks, static_cast<long long>(longestGap),
            static_cast<long long>(gapStart), threadCpuMs() - cpuAtStart);
    }
    grab(range, a.grab, "range-tab.png");
    return 0;
}
