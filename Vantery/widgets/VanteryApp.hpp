#pragma once
// The app itself: the one usage store, the main window "main", the help window and the
// menus. Opening a window that is open already brings it forward; there is never a
// second main window or help window.
#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

#include "model/UsageStore.hpp"
#include "model/WindowMemory.hpp"

class QAction;
class QMenu;
class QMenuBar;
class QSettings;

namespace vantery::app {

class HelpWindow;
class MainWindow;
class TrayIcon;

class VanteryApp : public QObject {
    Q_OBJECT
  public:
    /// Builds the store from `options` (which starts its bootstrap and timer unless the
    /// options say otherwise) and the menus; opens no window.
    explicit VanteryApp(UsageStore::Options options = {}, QObject* parent = nullptr);
    ~VanteryApp() override;

    UsageStore& store() noexcept { return *store_; }

    /// Brings the main window forward, or builds a new one on Today when none is open.
    void openMainWindow();
    /// Brings the help window forward, or opens it when it is not open.
    void openHelp();
    /// The open main window; null when none is open.
    MainWindow* mainWindow() const noexcept;
    /// The open help window; null when none is open.
    HelpWindow* helpWindow() const noexcept;

    /// The menus every main window carries. Items added to them (the tray's "Show Panel"
    /// in View) appear in every main window, present and future.
    QMenu* fileMenu() const noexcept { return file_; }
    QMenu* viewMenu() const noexcept { return view_; }
    QMenu* helpMenu() const noexcept { return helpMenu_; }

    /// Puts the app in the menu bar: the tray icon with its label and panel, which also
    /// runs the launch check (the main window opens 1.5 s after start unless a window is
    /// visible; at once, with "Show Panel" in View, when there is no system tray). Without
    /// a tray the app quits with its last window, since nothing else could bring one back.
    void start();
    /// The tray icon; null before start().
    TrayIcon* trayIcon() const noexcept { return tray_.get(); }

    /// For the end of the process: writes the main window's memory to its file and asks
    /// the store's scan or verification to stop, so that nothing is left to save.
    void finish();

    /// Keeps the main window's size, position and tab in `settings`: saved when the
    /// window closes and when the app ends, restored on every new main window (the tab
    /// only on the first one of a launch). Without this call nothing is read or written.
    void rememberWindowIn(std::unique_ptr<QSettings> settings);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  signals:
    /// A new main window was built (not emitted when an open one is brought forward).
    void mainWindowOpened(vantery::app::MainWindow* window);

  private:
    void buildMenus();
    void saveMainWindow();

    std::unique_ptr<UsageStore> store_;
    QPointer<MainWindow> main_;
    QPointer<HelpWindow> help_;
    // Parentless: shared by every main window's menu bar, owned here.
    std::unique_ptr<QMenu> fileOwner_, viewOwner_, helpOwner_;
    QMenu* file_ = nullptr;
    QMenu* view_ = nullptr;
    QMenu* helpMenu_ = nullptr;
    std::unique_ptr<QMenuBar> globalMenuBar_; ///< macOS: one menu bar for the whole app
    std::unique_ptr<TrayIcon> tray_;
    std::unique_ptr<QSettings> settings_;
    std::optional<WindowMemory> memory_; ///< over settings_
    bool tabRestored_ = false;
};

} // namespace vantery::app
