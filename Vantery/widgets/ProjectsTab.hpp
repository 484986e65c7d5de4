#pragma once
// The Projects tab: the whole history's cost by project, and how working directories
// fold into projects. A switch shows the raw breakdown by exact working directory
// instead; every row is listed, painted, however many there are.
#include <QAbstractButton>
#include <QWidget>

#include <vector>

#include "model/UsageStore.hpp"

class QLabel;
class QVBoxLayout;

namespace vantery::app {

class BucketTableModel;
class SectionCard;

/// A toggle drawn as a switch: a capsule track with a round knob, accent when on.
class SwitchToggle : public QAbstractButton {
    Q_OBJECT
  public:
    explicit SwitchToggle(QWidget* parent = nullptr);
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

class ProjectsTab : public QWidget {
    Q_OBJECT
  public:
    /// Starts on the canonical projects; follows the store's history from then on.
    explicit ProjectsTab(UsageStore& store, QWidget* parent = nullptr);
    ~ProjectsTab() override;

    bool showRaw() const noexcept { return showRaw_; }
    /// Switches the table as the toggle does.
    void setShowRaw(bool showRaw);

    // What the tab shows, for tests and screenshots.
    SwitchToggle* toggle() const noexcept { return toggle_; }
    /// The explanation card's counts; null before the first publish.
    QWidget* tiles() const noexcept { return tiles_; }
    SectionCard* tableCard() const noexcept { return tableCard_; }
    const BucketTableModel* tableRows() const noexcept { return rows_; }
    /// The italic "unknown" of an empty table; hidden otherwise.
    QLabel* tableEmpty() const noexcept { return empty_; }
    /// The store's message in place of the table until the first publish; hidden after.
    QLabel* tableLoading() const noexcept { return loading_; }

  private:
    void rebuild();

    UsageStore& store_;
    bool showRaw_ = false;
    QVBoxLayout* tilesSlot_;
    QWidget* tiles_ = nullptr;
    SwitchToggle* toggle_;
    SectionCard* tableCard_;
    QLabel* empty_;
    QLabel* loading_;
    std::vector<QWidget*> tableParts_; ///< header, divider and rows: hidden while loading
    BucketTableModel* rows_;
};

} // namespace vantery::app
