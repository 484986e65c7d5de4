#pragma once
// The thin bar along the bottom of the main window: which program and version runs,
// and how fresh the figures are. Keeps no state; redraws on every publish of the store
// and every tick of the app's AgeTicker.
#include <QWidget>

class QLabel;

namespace vantery::app {

class AgeTicker;
class UsageStore;

class StatusBar : public QWidget {
    Q_OBJECT
  public:
    /// The version shown is QCoreApplication::applicationVersion() (set by the entry from
    /// the shipped version); an empty one shows no "v" text.
    explicit StatusBar(UsageStore& store, QWidget* parent = nullptr);

  private:
    void redraw();

    UsageStore& store_;
    AgeTicker& ticker_;
    QLabel* version_ = nullptr;
    QLabel* freshness_ = nullptr;
};

} // namespace vantery::app
