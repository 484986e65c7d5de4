#pragma once
// The Agents tab: who spent the money. The split between the main session and its
// sub-agents, a filterable ranking of every agent (at most 200 rows, painted, so typing
// stays fluid with thousands of agents), and how names and rosters cover what was seen.
#include <QPointer>
#include <QWidget>

#include <optional>
#include <string>
#include <vector>

#include "model/AgentsTabModel.hpp"
#include "model/UsageStore.hpp"
#include "widgets/RebuildScheduler.hpp"

class QButtonGroup;
class QLabel;
class QLineEdit;
class QVBoxLayout;

namespace vantery::app {

class BucketListView;
class BucketTableModel;
class SectionCard;

class AgentsTab : public QWidget {
    Q_OBJECT
  public:
    /// Starts with scope Today and an empty filter; follows the store's today, history
    /// and roster from then on.
    explicit AgentsTab(UsageStore& store, QWidget* parent = nullptr);
    ~AgentsTab() override;

    AgentsTabModel::Scope scope() const noexcept { return scope_; }
    /// Selects a scope as its picker segment does.
    void setScope(AgentsTabModel::Scope scope);

    // What the tab shows, for tests and screenshots.
    QLineEdit* filterField() const noexcept { return filter_; }
    SectionCard* rankingCard() const noexcept { return rankingCard_; }
    const BucketTableModel* rankingRows() const noexcept { return rows_; }
    /// "showing the first 200 of n"; hidden up to 200 rows.
    QLabel* rankingCaption() const noexcept { return caption_; }
    /// The italic "unknown" of an empty ranking; hidden otherwise.
    QLabel* rankingEmpty() const noexcept { return empty_; }
    /// The split card's content below the picker (bar and tiles, or its unknown line).
    QWidget* splitContent() const noexcept { return splitBody_; }
    /// The coverage card's row of tiles (the store's message before the first publish).
    QWidget* coverageTiles() const noexcept { return coverageTiles_; }
    /// The store's message in place of the ranking until the first publish; hidden after.
    QLabel* rankingLoading() const noexcept { return rankingLoading_; }

  private:
    void rebuild();
    void refilter();
    const Report& report() const;

    UsageStore& store_;
    AgentsTabModel::Scope scope_ = AgentsTabModel::Scope::today;
    AgentsTabModel::AgentRanking ranking_; ///< the scope's agents as the store published them
    std::optional<std::string> loading_;   ///< the store's message until its first publish
    RebuildScheduler scheduler_;

    QButtonGroup* picker_;
    QVBoxLayout* splitSlot_;
    QWidget* splitBody_ = nullptr;
    SectionCard* rankingCard_;
    QLineEdit* filter_;
    QLabel* rankingLoading_;
    std::vector<QWidget*> rankingParts_; ///< header, divider and rows: hidden while loading
    QLabel* empty_;
    BucketTableModel* rows_;
    BucketListView* list_;
    class RowMarks;
    RowMarks* marks_;
    QLabel* caption_;
    QVBoxLayout* coverageSlot_;
    QWidget* coverageTiles_ = nullptr;
};

} // namespace vantery::app
