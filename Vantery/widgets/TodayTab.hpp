#pragma once
// The Today tab: what today has cost so far, what that cost is made of, how it spread
// over the hours, and who and which models spent it. Rebuilt from the store whenever
// it publishes; keeps no state of its own.
#include <QWidget>

#include "model/SparklineModel.hpp"
#include "model/TodayTabModel.hpp"
#include "model/UsageStore.hpp"
#include "widgets/RebuildScheduler.hpp"
#include "widgets/TabLayout.hpp"

namespace vantery::app {

class TodayTab : public QWidget {
    Q_OBJECT
  public:
    explicit TodayTab(UsageStore& store, QWidget* parent = nullptr);

    /// The cards of one model, stacked as the tab shows them (also for screenshots).
    static QVBoxLayout* buildPage(const TodayTabModel& model, SparklineModel sparkline);

  private:
    void rebuild();

    UsageStore& store_;
    TabScrollArea* scroll_;
    RebuildScheduler scheduler_;
};

} // namespace vantery::app
