// Smoke tests of the app's shell on the offscreen platform: menus and shortcuts, window
// sizes, tab switching, the launch check and the status bar.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "widgets/HelpWindow.hpp"
#include "widgets/MainWindow.hpp"
#include "widgets/TrayIcon.hpp"
#include "widgets/VanteryApp.hpp"

namespace vantery::app {
namespace {

constexpr double kNow = 1'765'000'000.0;

class Shell : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        app_ = makeApp();
    }
    std::unique_ptr<VanteryApp> makeApp() const {
        const std::string home = dir_.path().toStdString();
        UsageStore::Options options;
        options.home = home;
        options.cachePath = home + "/cache.bin";
        options.clock = [] { return kNow; };
        options.start = false;
        return std::make_unique<VanteryApp>(std::move(options));
    }
    void TearDown() override {
        app_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    template <class Window> static int visibleWindows() {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<Window*>(w) && w->isVisible()) ++n;
        return n;
    }
    static QAction* find(QMenu* menu, const QString& text) {
        for (QAction* a : menu->actions())
            if (a->text() == text) return a;
        return nullptr;
    }

    QTemporaryDir dir_;
    std::unique_ptr<VanteryApp> app_;
};

TEST_F(Shell, MenusCarryEveryCommandEnabledWithItsShortcut) {
    app_->openMainWindow();
    QStringList titles;
    for (QAction* a : app_->mainWindow()->menuBar()->actions())
        titles << a->text();
    EXPECT_EQ(titles, (QStringList{"&File", "&View", "&Help"}));

    struct Item {
        QMenu* menu;
        const char* text;
        QKeySequence keys;
    };
    const Item items[] = {
        {app_->viewMenu(), "Refresh", QKeySequence(Qt::CTRL | Qt::Key_R)},
        {app_->viewMenu(), "Full verification", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R)},
        {app_->helpMenu(), "Vantery Help", QKeySequence(Qt::CTRL | Qt::Key_Question)},
        {app_->fileMenu(), "Quit", QKeySequence(QKeySequence::Quit)},
    };
    for (const Item& item : items) {
        QAction* action = find(item.menu, item.text);
        ASSERT_NE(action, nullptr) << item.text;
        EXPECT_TRUE(action->isEnabled()) << item.text;
        EXPECT_EQ(action->shortcut(), item.keys) << item.text;
    }
    EXPECT_EQ(find(app_->fileMenu(), "Quit")->menuRole(), QAction::QuitRole);
    QAction* update = find(app_->helpMenu(), "Check for Updates\u2026");
    ASSERT_NE(update, nullptr);
    EXPECT_TRUE(update->isEnabled());
    EXPECT_EQ(update->menuRole(), QAction::ApplicationSpecificRole);
    // The three exports come before Quit (their enabling follows the range report).
    EXPECT_GE(app_->fileMenu()->actions().size(), 5);
    // No item anywhere opens a second main window.
    for (QMenu* menu : {app_->fileMenu(), app_->viewMenu(), app_->helpMenu()})
        for (QAction* a : menu->actions())
            EXPECT_FALSE(a->text().contains("New") || a->text().contains("Window"))
                << a->text().toStdString();
}

TEST_F(Shell, RefreshCommandReachesTheStore) {
    app_->openMainWindow();
    QSignalSpy published(&app_->store(), &UsageStore::refreshPublished);
    find(app_->viewMenu(), "Refresh")->trigger();
    ASSERT_TRUE(published.wait(10'000));
    EXPECT_TRUE(app_->store().state().isReady());
    auto* freshness = app_->mainWindow()->findChild<QLabel*>("freshness");
    EXPECT_EQ(freshness->text(), "updated 0s ago");
    EXPECT_FALSE(
        app_->mainWindow()->findChild<QLabel*>("progressText")->isVisibleTo(app_->mainWindow()));
}

TEST_F(Shell, MainAndHelpAreSingleWindowsBroughtForward) {
    app_->openMainWindow();
    MainWindow* first = app_->mainWindow();
    app_->openMainWindow();
    EXPECT_EQ(app_->mainWindow(), first);
    EXPECT_EQ(visibleWindows<MainWindow>(), 1);

    QAction* help = find(app_->helpMenu(), "Vantery Help");
    help->trigger();
    HelpWindow* window = app_->helpWindow();
    ASSERT_NE(window, nullptr);
    help->trigger();
    EXPECT_EQ(app_->helpWindow(), window);
    EXPECT_EQ(visibleWindows<HelpWindow>(), 1);
    EXPECT_EQ(window->windowTitle(), "Vantery Help");
    // The header is title 2: 17 points on a 13-point body.
    auto* header = window->findChild<QLabel*>("header");
    ASSERT_NE(header, nullptr);
    EXPECT_DOUBLE_EQ(header->font().pointSizeF(), QApplication::font().pointSizeF() * 17 / 13);

    // A closed main window is built again, on Today.
    first->selectTab(Tab::agents);
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(app_->mainWindow(), nullptr);
    app_->openMainWindow();
    EXPECT_EQ(app_->mainWindow()->tab(), Tab::today);
}

TEST_F(Shell, WindowsKeepTheirMinimumSizes) {
    app_->openMainWindow();
    MainWindow* main = app_->mainWindow();
    EXPECT_EQ(main->size(), QSize(1040, 720));
    main->resize(200, 200); // clamped by the content's minimum
    QCoreApplication::processEvents();
    auto* detail = main->findChild<QWidget*>("detail");
    auto* sidebar = main->findChild<QWidget*>("sidebar");
    EXPECT_GE(detail->width(), 720);
    EXPECT_GE(detail->height(), 520);
    EXPECT_GE(sidebar->width(), 190);
    EXPECT_EQ(sidebar->minimumWidth(), 190);
    EXPECT_EQ(sidebar->maximumWidth(), 240);
    main->resize(3000, 1200);
    QCoreApplication::processEvents();
    EXPECT_LE(sidebar->width(), 240);

    app_->openHelp();
    HelpWindow* help = app_->helpWindow();
    help->resize(100, 100);
    QCoreApplication::processEvents();
    EXPECT_GE(help->width(), 520);
    EXPECT_GE(help->height(), 420);
    EXPECT_EQ(help->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST_F(Shell, TabsStartOverAfterSwitching) {
    app_->openMainWindow();
    MainWindow* main = app_->mainWindow();
    auto* sidebar = main->findChild<QListWidget*>();
    ASSERT_EQ(sidebar->count(), 6);
    EXPECT_EQ(sidebar->currentItem()->text(), "Today");
    EXPECT_EQ(sidebar->item(5)->text(), "Sources & honesty");

    sidebar->setCurrentRow(static_cast<int>(Tab::agents));
    QPointer<QWidget> agents = main->currentPage();
    agents->setProperty("query", "kept?");
    sidebar->setCurrentRow(static_cast<int>(Tab::projects));
    sidebar->setCurrentRow(static_cast<int>(Tab::agents));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(agents.isNull()); // the old page is gone, not hidden
    EXPECT_EQ(main->tab(), Tab::agents);
    EXPECT_FALSE(main->currentPage()->property("query").isValid());

    // Clearing the selection puts the selected tab back.
    sidebar->clearSelection();
    ASSERT_EQ(sidebar->selectedItems().size(), 1);
    EXPECT_EQ(sidebar->selectedItems().front()->text(), "Agents");
}

TEST(TabLabels, MapExactlyToTheirTabs) {
    for (const TabInfo& t : tabTable()) {
        EXPECT_EQ(tabFromLabel(t.label), t.tab);
        EXPECT_EQ(tabTable()[static_cast<std::size_t>(tabIndex(t.tab))].tab, t.tab);
    }
    EXPECT_EQ(tabFromLabel("Date range"), Tab::range);
    EXPECT_EQ(tabFromLabel("date range"), std::nullopt);
    EXPECT_EQ(tabFromLabel(""), std::nullopt);
}

TEST_F(Shell, WithoutATrayStartOpensTheMainWindowOnceAndOffersThePanel) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()); // the offscreen platform has none
    QSignalSpy opened(app_.get(), &VanteryApp::mainWindowOpened);
    app_->start();
    app_->start(); // one tray, one launch check
    QTest::qWait(50);
    EXPECT_EQ(opened.count(), 1);
    ASSERT_NE(app_->mainWindow(), nullptr);
    EXPECT_TRUE(app_->mainWindow()->isVisible());
    EXPECT_EQ(app_->mainWindow()->tab(), Tab::today);
    EXPECT_NE(find(app_->viewMenu(), "Show Panel"), nullptr);
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed());
    QApplication::setQuitOnLastWindowClosed(false);
}

TEST_F(Shell, TheLaunchCheckCountsTheAppsWindowsOnly) {
    EXPECT_FALSE(TrayIcon::mainWindowVisible());
    QWidget popup(nullptr, Qt::Popup);
    popup.show();
    // A plain top-level window, as an XEmbed tray icon's own widget is.
    QWidget trayWidget(nullptr, Qt::Window);
    trayWidget.show();
    EXPECT_FALSE(TrayIcon::mainWindowVisible());
    app_->openHelp();
    EXPECT_TRUE(TrayIcon::mainWindowVisible());
}

TEST_F(Shell, TheFirstMainWindowOfALaunchReturnsToTheTabLastShown) {
    const QString file = dir_.filePath("settings.conf");
    const auto remember = [&] {
        app_->rememberWindowIn(std::make_unique<QSettings>(file, QSettings::IniFormat));
    };
    remember();
    app_->openMainWindow();
    app_->mainWindow()->selectTab(Tab::agents);
    app_.reset(); // a quit saves without closing the window first

    app_ = makeApp();
    remember();
    app_->openMainWindow();
    EXPECT_EQ(app_->mainWindow()->tab(), Tab::agents);
    app_->mainWindow()->selectTab(Tab::projects);
    app_->mainWindow()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(QSettings(file, QSettings::IniFormat).value("mainWindow/tab"), "Projects");
    // Within the same launch a new main window starts on Today.
    app_->openMainWindow();
    EXPECT_EQ(app_->mainWindow()->tab(), Tab::today);
}

TEST_F(Shell, StatusBarBeforeAnyRefresh) {
    app_->openMainWindow();
    EXPECT_EQ(app_->mainWindow()->findChild<QLabel*>("freshness")->text(), "not scanned yet");
}

} // namespace
} // namespace vantery::app
