#pragma once
// The app's menu-bar item on every platform: a system tray icon that carries the
// label, opens the panel on a click and offers the panel's commands in its context
// menu for tray hosts that never deliver a click.
#include <QObject>
#include <QPointer>
#include <QRect>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace vantery::app {

class MenuBarView;
class UsageStore;

class TrayIcon : public QObject {
  public:
    /// What the tray needs of the app entry.
    struct Callbacks {
        std::function<void()> openMainWindow;
        /// The View menu that receives "Show Panel" when there is no system tray; may be empty.
        std::function<QMenu*()> viewMenu;
        std::function<void()> quit; ///< empty: QCoreApplication::quit()
    };

    /// Shows the icon when a system tray exists and schedules the launch check: 1.5 s
    /// later the main window opens unless the main or help window is visible.
    /// Without a system tray the main window opens at once and the View menu gets "Show Panel".
    TrayIcon(UsageStore& store, Callbacks callbacks, QObject* parent = nullptr);
    ~TrayIcon() override;

    /// Opens the panel as a popup at the icon, or at the top right of the screen without one.
    void showPanel();

    /// True when one of the app's own windows (the main window or the help window) is
    /// visible; popups, dialogs and the tray host's own windows never count.
    static bool mainWindowVisible();

  private:
    void updateLabel();
    void launchCheck();

    UsageStore& store_;
    Callbacks callbacks_;
    std::unique_ptr<QMenu> menu_;
    QAction* labelLine_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    std::unique_ptr<MenuBarView> panel_;
    bool didRequestWindow_ = false;
};

/// Where a popup of `size` goes for an icon at `icon` (global coordinates): below an
/// icon in the top half of the screen, above one in the bottom half, right edges
/// aligned, and always kept inside `available`. An empty `icon` puts it at the top right.
QPoint panelPosition(const QRect& icon, const QSize& size, const QRect& available);

} // namespace vantery::app
