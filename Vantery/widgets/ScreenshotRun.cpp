#include "widgets/ScreenshotRun.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <cstdio>
#include <span>

#include "widgets/HelpWindow.hpp"
#include "widgets/MainWindow.hpp"
#include "widgets/VanteryApp.hpp"

namespace vantery::app {
namespace {

// Walks the tabs one timer tick at a time so each page can lay out and publish.
class Run : public QObject {
  public:
    Run(VanteryApp& app, QString directory)
        : QObject(&app), app_(app), dir_(std::move(directory)) {}

    void begin() {
        QDir().mkpath(dir_);
        app_.openMainWindow();
        QTimer::singleShot(std::chrono::minutes(5), this, [] {
            std::fputs("screenshots: the figures were not ready in time\n", stderr);
            QCoreApplication::exit(1);
        });
        if (app_.store().state().isReady()) return step();
        connect(&app_.store(), &UsageStore::refreshPublished, this, [this] {
            if (!started_) step();
        });
    }

  private:
    void step() {
        started_ = true;
        // A page may start work of its own (the range report, a verification); let it
        // publish first.
        if (app_.store().rangeIsComputing() || !app_.store().state().isReady()) return later();
        const std::span<const TabInfo> tabs = tabTable();
        if (next_ > 0) {
            const std::string_view name = tabs[next_ - 1].screenshotName;
            const QString file = QStringLiteral("main-%1.png")
                                     .arg(QString::fromUtf8(name.data(), qsizetype(name.size())));
            // The verdict sits in the last card: the picture shows the page's end.
            if (tabs[next_ - 1].tab == Tab::sources)
                if (auto* area = app_.mainWindow()->currentPage()->findChild<QScrollArea*>())
                    area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
            if (!save(app_.mainWindow(), file)) return;
        }
        if (next_ < tabs.size()) {
            // The Sources tab is pictured right after a full verification, with its verdict.
            if (tabs[next_].tab == Tab::sources && !verified_) {
                verified_ = true;
                connect(
                    &app_.store(), &UsageStore::verificationChanged, this, [this] { later(); },
                    Qt::SingleShotConnection);
                app_.store().runFullVerification();
                return;
            }
            app_.mainWindow()->selectTab(tabs[next_++].tab);
            return later();
        }
        app_.openHelp();
        QTimer::singleShot(300, this, [this] {
            if (save(app_.helpWindow(), QStringLiteral("help.png"))) QCoreApplication::exit(0);
        });
    }

    void later() {
        QTimer::singleShot(400, this, [this] { step(); });
    }

    bool save(QWidget* window, const QString& name) {
        const QString path = QDir(dir_).filePath(name);
        if (window && window->grab().save(path)) return true;
        std::fprintf(stderr, "screenshots: could not write %s\n", qPrintable(path));
        QCoreApplication::exit(1);
        return false;
    }

    VanteryApp& app_;
    QString dir_;
    std::size_t next_ = 0;
    bool started_ = false;
    bool verified_ = false;
};

} // namespace

void startScreenshotRun(VanteryApp& app, const QString& directory) {
    (new Run(app, directory))->begin();
}

} // namespace vantery::app
