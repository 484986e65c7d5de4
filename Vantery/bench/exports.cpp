// The three exports of a 400-day range through the store's export runner, with dialogs
// that answer at once, a clipboard that keeps the text, and the real atomic writer into a
// folder: the time from the command to its outcome and the GUI's longest stall meanwhile.
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "StallMeter.hpp"
#include "model/ExportRunner.hpp"
#include "model/UsageStore.hpp"

using namespace vantery;
using namespace vantery::app;

namespace {

struct InstantDialogs : ExportDialogs {
    std::string folder;
    std::optional<std::string> chooseCSVFile(const std::string& name, const std::string&) override {
        return QDir(QString::fromStdString(folder))
            .filePath(QString::fromStdString(name))
            .toStdString();
    }
    std::optional<std::string> chooseFolder(const std::string&, const std::string&) override {
        return folder;
    }
};

struct KeptClipboard : ClipboardSink {
    std::string text;
    bool setText(const std::string& t) override {
        text = t;
        return true;
    }
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

bool exportBench(UsageStore& store, bench::StallMeter& stalls, const std::string& folder) {
    if (!QDir().mkpath(QString::fromStdString(folder))) return false;
    const double now = store.now();
    {
        QEventLoop loop;
        QObject::connect(&store, &UsageStore::rangeReportChanged, &loop, &QEventLoop::quit);
        store.selectRange(
            RangeSelection(RangePreset::custom, now - 399 * 86'400.0, now, now, store.calendar()));
        loop.exec();
    }
    auto dialogs = std::make_shared<InstantDialogs>();
    dialogs->folder = folder;
    auto clipboard = std::make_shared<KeptClipboard>();
    const ExportServices services{dialogs, clipboard, std::make_shared<AtomicFileWriter>()};
    ExportRunner& runner = ExportRunner::of(store);

    struct Command {
        ExportOperation operation;
        const char* name;
        const char* reached;
    };
    const Command commands[] = {
        {ExportOperation::copySummary, "copy summary", "to the clipboard text"},
        {ExportOperation::everyBreakdown, "export every breakdown", "to the files"},
        {ExportOperation::projectCSV, "export CSV", "to the file"},
    };
    bool allWithinTarget = true;
    fmt::print("exports of 400 days ({} requests), medians of 3 runs:\n",
               store.rangeReport().total.requests);
    for (const auto& command : commands) {
        std::vector<double> ms, stallMs;
        std::string outcome;
        for (int run = 0; run < 3; ++run) {
            QEventLoop loop;
            stalls.reset();
            QElapsedTimer t;
            t.start();
            runner.start(command.operation, services, &loop,
                         [&](const ExportController::Outcome& o) {
                             outcome = o.message().value_or("cancelled");
                             loop.quit();
                         });
            if (runner.isRunning()) loop.exec();
            ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
            stallMs.push_back(stalls.longestMs());
        }
        const double worstStall = *std::max_element(stallMs.begin(), stallMs.end());
        allWithinTarget = allWithinTarget && worstStall < 50;
        fmt::print("  {}, 400 days: {:.0f} ms {}, longest GUI stall {:.1f} ms (worst {:.1f}, "
                   "target < 50 ms); {}\n",
                   command.name, median(ms), command.reached, median(stallMs), worstStall, outcome);
    }
    return allWithinTarget;
}
