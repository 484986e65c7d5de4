#pragma once
// The Sources & honesty tab: the homes read, what the historical total is made of, what
// the scanner read and rejected, and the cache with its last full verification. It lays
// out SourcesTabModel; its two buttons verify or clear the store's cache.
#include <QWidget>

#include "model/SourcesTabModel.hpp"
#include "widgets/RebuildScheduler.hpp"

class QPushButton;
class QVBoxLayout;

namespace vantery::app {

class TabScrollArea;
class UsageStore;

class SourcesTab : public QWidget {
    Q_OBJECT
  public:
    explicit SourcesTab(UsageStore& store, QWidget* parent = nullptr);

    /// The texts now shown (for tests and screenshots).
    const SourcesView& view() const noexcept { return view_; }
    QPushButton* verifyButton() const noexcept { return verify_; }
    QPushButton* clearButton() const noexcept { return clear_; }

  signals:
    /// After every redraw.
    void redrawn();

  private:
    void redraw();
    QVBoxLayout* buildPage();

    UsageStore& store_;
    SourcesView view_;
    TabScrollArea* scroll_;
    RebuildScheduler scheduler_;
    QPushButton* verify_ = nullptr;
    QPushButton* clear_ = nullptr;
};

} // namespace vantery::app
