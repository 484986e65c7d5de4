#include "widgets/VanteryApp.hpp"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QWindow>

#include "widgets/AgeTicker.hpp"
#include "widgets/ExportCommands.hpp"
#include "widgets/HelpWindow.hpp"
#include "widgets/MainWindow.hpp"
#include "widgets/TrayIcon.hpp"
#include "widgets/UpdateCommand.hpp"

namespace vantery::app {

namespace {

// Every screen's geometry, the primary one first.
QList<QRect> screenGeometries() {
    QList<QRect> screens;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary) screens.append(primary->geometry());
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != primary) screens.append(screen->geometry());
    return screens;
}

} // namespace

VanteryApp::VanteryApp(UsageStore::Options options, QObject* parent)
    : QObject(parent), store_(std::make_unique<UsageStore>(std::move(options))) {
    AgeTicker::of(*store_); // the app's one clock for ages, ticking from the start
    buildMenus();
}

VanteryApp::~VanteryApp() {
    saveMainWindow(); // a quit does not close the window first
    delete main_.data();
    delete help_.data();
}

MainWindow* VanteryApp::mainWindow() const noexcept {
    return main_.data();
}
HelpWindow* VanteryApp::helpWindow() const noexcept {
    return help_.data();
}

void VanteryApp::buildMenus() {
    fileOwner_ = std::make_unique<QMenu>(QStringLiteral("&File"));
    viewOwner_ = std::make_unique<QMenu>(QStringLiteral("&View"));
    helpOwner_ = std::make_unique<QMenu>(QStringLiteral("&Help"));
    file_ = fileOwner_.get();
    view_ = viewOwner_.get();
    helpMenu_ = helpOwner_.get();

    // File: the three exports, then Quit; the app offers no item that opens a new window.
    // The menus outlive any one main window, so their dialogs open without a parent.
    installExportCommands(file_, *store_, nullptr);
    file_->addSeparator();
    auto* quit = file_->addAction(QStringLiteral("Quit"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole); // macOS moves it to the application menu
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    auto* refresh = view_->addAction(QStringLiteral("Refresh"));
    refresh->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(refresh, &QAction::triggered, store_.get(), &UsageStore::refresh);
    auto* verify = view_->addAction(QStringLiteral("Full verification"));
    verify->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    connect(verify, &QAction::triggered, store_.get(), &UsageStore::runFullVerification);

    auto* helpAction = helpMenu_->addAction(QStringLiteral("Vantery Help"));
    helpAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Question));
    connect(helpAction, &QAction::triggered, this, &VanteryApp::openHelp);
    // Its application-specific role puts it in the application menu on macOS; elsewhere it
    // stays in Help.
    helpMenu_->addAction(makeCheckForUpdatesAction(helpMenu_, nullptr));

#ifdef Q_OS_MACOS
    globalMenuBar_ = std::make_unique<QMenuBar>();
    globalMenuBar_->addMenu(file_);
    globalMenuBar_->addMenu(view_);
    globalMenuBar_->addMenu(helpMenu_);
#endif
}

void VanteryApp::openMainWindow() {
    if (main_) {
        // A window the window system took off the screen (withdrawn rather than
        // minimised) still counts as visible; only a new show() maps it again.
        if (const QWindow* handle = main_->windowHandle(); handle && !handle->isExposed())
            main_->hide();
        main_->setWindowState(main_->windowState() & ~Qt::WindowMinimized);
        main_->show();
        main_->raise();
        main_->activateWindow();
        return;
    }
    Tab initial = Tab::today;
    std::optional<WindowPlacement> placement;
    if (const auto saved = memory_ ? memory_->load() : std::nullopt) {
        if (!tabRestored_) initial = tabFromLabel(saved->tab.toStdString()).value_or(Tab::today);
        placement = placeOnScreens(*saved, screenGeometries());
    }
    tabRestored_ = true;
    main_ = new MainWindow(*store_, initial);
    main_->setAttribute(Qt::WA_DeleteOnClose);
#ifndef Q_OS_MACOS
    main_->menuBar()->addMenu(file_);
    main_->menuBar()->addMenu(view_);
    main_->menuBar()->addMenu(helpMenu_);
#endif
    if (placement) {
        main_->resize(placement->size);
        if (placement->position) main_->move(*placement->position);
    }
    main_->installEventFilter(this);
    main_->show();
    emit mainWindowOpened(main_);
}

void VanteryApp::openHelp() {
    if (!help_) {
        help_ = new HelpWindow;
        help_->setAttribute(Qt::WA_DeleteOnClose);
        // Its shortcuts work there too (Ctrl+? again only brings it forward).
        help_->addActions(view_->actions());
        help_->addActions(helpMenu_->actions());
    }
    help_->show();
    help_->raise();
    help_->activateWindow();
}

void VanteryApp::rememberWindowIn(std::unique_ptr<QSettings> settings) {
    memory_.reset();
    settings_ = std::move(settings);
    if (settings_) memory_.emplace(*settings_);
}

bool VanteryApp::eventFilter(QObject* watched, QEvent* event) {
    // The type first: the window's destruction sends events too, and main_ must not be
    // read as a MainWindow while it is being torn down.
    if (event->type() == QEvent::Close && watched == main_) saveMainWindow();
    return QObject::eventFilter(watched, event);
}

void VanteryApp::finish() {
    saveMainWindow();
    if (settings_) settings_->sync();
    store_->stopWork();
}

void VanteryApp::saveMainWindow() {
    if (!memory_ || !main_) return;
    const std::string_view tab = tabLabel(main_->tab());
    memory_->save({.size = main_->size(),
                   .position = main_->pos(),
                   .tab = QString::fromUtf8(tab.data(), static_cast<qsizetype>(tab.size()))});
}

void VanteryApp::start() {
    if (tray_) return;
    QApplication::setQuitOnLastWindowClosed(!QSystemTrayIcon::isSystemTrayAvailable());
    tray_ = std::make_unique<TrayIcon>(
        *store_, TrayIcon::Callbacks{.openMainWindow = [this] { openMainWindow(); },
                                     .viewMenu = [this] { return view_; },
                                     .quit = {}});
}

} // namespace vantery::app
