#include "widgets/TrayIcon.hpp"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

#include "model/MenuBarLabelModel.hpp"
#include "model/UsageStore.hpp"
#include "widgets/HelpWindow.hpp"
#include "widgets/MainWindow.hpp"
#include "widgets/MenuBarView.hpp"

namespace vantery::app {

namespace {
constexpr int launchDelayMs = 1500;
} // namespace

bool TrayIcon::mainWindowVisible() {
    // Only the app's own windows: an XEmbed tray's icon is itself a visible top-level
    // Qt::Window (QSystemTrayIconSys) and must not pass for one.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && (qobject_cast<MainWindow*>(w) || qobject_cast<HelpWindow*>(w)))
            return true;
    return false;
}

TrayIcon::TrayIcon(UsageStore& store, Callbacks callbacks, QObject* parent)
    : QObject(parent), store_(store), callbacks_(std::move(callbacks)),
      menu_(std::make_unique<QMenu>()) {
    auto quit = [this] {
        if (callbacks_.quit)
            callbacks_.quit();
        else
            QCoreApplication::quit();
    };
    auto openMain = [this] {
        if (callbacks_.openMainWindow) callbacks_.openMainWindow();
    };
    panel_ = std::make_unique<MenuBarView>(store_, MenuBarView::Actions{openMain, quit});
    panel_->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);

    labelLine_ = menu_->addAction(QString());
    labelLine_->setEnabled(false);
    menu_->addSeparator();
    connect(menu_->addAction(QStringLiteral("Open window")), &QAction::triggered, this, openMain);
    connect(menu_->addAction(QStringLiteral("Refresh")), &QAction::triggered, &store_,
            &UsageStore::refresh);
    menu_->addSeparator();
    connect(menu_->addAction(QStringLiteral("Quit")), &QAction::triggered, this, quit);

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray_ = new QSystemTrayIcon(this);
        tray_->setContextMenu(menu_.get());
        connect(tray_, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason why) {
                    if (why == QSystemTrayIcon::Trigger) showPanel();
                });
        QTimer::singleShot(launchDelayMs, this, &TrayIcon::launchCheck);
    } else {
        // Nowhere to click: the window opens at launch and the panel hangs off the View menu.
        QTimer::singleShot(0, this, openMain);
        if (QMenu* view = callbacks_.viewMenu ? callbacks_.viewMenu() : nullptr)
            connect(view->addAction(QStringLiteral("Show Panel")), &QAction::triggered, this,
                    &TrayIcon::showPanel);
    }
    connect(&store_, &UsageStore::stateChanged, this, &TrayIcon::updateLabel);
    connect(&store_, &UsageStore::todayChanged, this, &TrayIcon::updateLabel);
    updateLabel();
    if (tray_) tray_->show();
}

// The icon goes before the menu it shows.
TrayIcon::~TrayIcon() {
    delete tray_;
}

void TrayIcon::updateLabel() {
    const MenuBarLabelModel label = buildMenuBarLabel(store_.state(), store_.today());
    labelLine_->setText(QString::fromStdString(label.tooltip));
    if (!tray_) return;
    tray_->setIcon(menuBarLabelIcon(label));
    tray_->setToolTip(QString::fromStdString(label.tooltip));
}

void TrayIcon::launchCheck() {
    if (didRequestWindow_) return;
    didRequestWindow_ = true;
    if (!mainWindowVisible() && callbacks_.openMainWindow) callbacks_.openMainWindow();
}

void TrayIcon::showPanel() {
    panel_->rebuild(); // before measuring: the size follows the sections shown
    panel_->adjustSize();
    const QRect icon = tray_ ? tray_->geometry() : QRect();
    QScreen* screen = icon.isEmpty() ? QGuiApplication::screenAt(QCursor::pos())
                                     : QGuiApplication::screenAt(icon.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    panel_->move(panelPosition(icon, panel_->sizeHint(), screen->availableGeometry()));
    panel_->show();
    panel_->raise();
    panel_->activateWindow();
}

} // namespace vantery::app
