#pragma once
// The menu-bar item's two faces: the panel bound to the store, and the label drawn
// into an icon for trays that show no text beside their icons.
#include <QIcon>

#include <functional>

#include "model/MenuBarLabelModel.hpp"
#include "widgets/MenuBarPanel.hpp"
#include "widgets/RebuildScheduler.hpp"

namespace vantery::app {

class UsageStore;

/// The panel over the store: rebuilt from the store's published values (with now and the
/// user's calendar read afresh) whenever it is shown and at every publish while visible.
/// Refresh goes to the store; opening the main window and quitting go to the callbacks.
class MenuBarView : public MenuBarPanel {
  public:
    struct Actions {
        std::function<void()> openMainWindow;
        std::function<void()> quit; ///< empty: QCoreApplication::quit()
    };

    MenuBarView(UsageStore& store, Actions actions, QWidget* parent = nullptr);

    /// Builds the panel from the store now.
    void rebuild();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void scheduleRebuild();

    UsageStore& store_;
    Actions actions_;
    RebuildScheduler scheduler_;
    bool stale_ = true; ///< not built yet, or built before a publish or an earlier showing
};

/// The panel model of the store's current values.
PanelModel buildPanel(const UsageStore& store, double now);

/// The amount as a square tray icon shows it: no cents, no dollar sign beside three
/// characters or more ("$35", "999", "1.2k"), the lower bound as a mark of its own.
struct TrayIconText {
    QString amount;  ///< "$35", "54", "1.2k"
    bool lowerBound; ///< drawn as "≥" before the amount
    friend bool operator==(const TrayIconText&, const TrayIconText&) = default;
};
TrayIconText trayIconText(const MenuBarLabelModel& label);

/// The label as a square icon, drawn for each size a tray asks for (16 to 64 pixels): the
/// flame while loading, else white digits on a rounded dark plate that reads on light and
/// dark trays alike, with an accent "≥" before a lower bound.
QIcon menuBarLabelIcon(const MenuBarLabelModel& label);

} // namespace vantery::app
