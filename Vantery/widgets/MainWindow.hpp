#pragma once
// The app's main window: a sidebar of the six analysis tabs, the selected tab in the
// detail area, a toolbar with the scan progress and a refresh button, and the status
// bar along the bottom. Its only state is the selected tab.
#include <QMainWindow>

#include "widgets/TabFactory.hpp"

class QAction;
class QLabel;
class QListWidget;
class QProgressBar;
class QVBoxLayout;

namespace vantery::app {

class UsageStore;

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    /// A window of 1040 × 720 showing `initial`; its detail area never gets smaller than
    /// 720 × 520 and its sidebar stays between 190 and 240 wide.
    explicit MainWindow(UsageStore& store, Tab initial = Tab::today, QWidget* parent = nullptr);

    Tab tab() const noexcept { return tab_; }
    /// Selects `tab` in the sidebar; the page is built afresh even when it is shown already.
    void selectTab(Tab tab);
    /// The page of the selected tab.
    QWidget* currentPage() const noexcept { return page_; }

  signals:
    void tabChanged(vantery::app::Tab tab);

  private:
    QWidget* buildSidebar();
    void buildToolbar();
    void showTab(Tab tab);
    void redrawProgress();

    UsageStore& store_;
    Tab tab_;
    QListWidget* sidebar_ = nullptr;
    QWidget* detail_ = nullptr;
    QVBoxLayout* detailLayout_ = nullptr;
    QWidget* page_ = nullptr;
    QWidget* progress_ = nullptr;
    QAction* progressItem_ = nullptr;
    QLabel* progressText_ = nullptr;
};

} // namespace vantery::app
