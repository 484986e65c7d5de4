#pragma once
// The Provenance tab: the history's days, newest first and 14 at a time, each opening
// into its projects, a project into its sessions and a session into its agents. It lays
// out the rows of ProvenanceTabModel and keeps only which nodes are open.
#include <memory>

#include <QWidget>

#include "model/ProvenanceTabModel.hpp"
#include "widgets/RebuildScheduler.hpp"

class QAbstractButton;

namespace vantery::app {

class SectionCard;
class UsageStore;

class ProvenanceTab : public QWidget {
    Q_OBJECT
  public:
    explicit ProvenanceTab(UsageStore& store, QWidget* parent = nullptr);

    const ProvenanceState& state() const noexcept { return state_; }
    /// The rows now shown (for tests and screenshots).
    const ProvenanceView& view() const noexcept { return view_; }
    /// The more-days button, or null while every day is listed.
    QAbstractButton* moreDaysButton() const noexcept { return moreDays_; }
    /// True once the day index for the store's current table is in place.
    bool indexReady() const;

  signals:
    /// After every redraw.
    void redrawn();

  private:
    void rebuildIndex();
    void redraw();
    void toggle(const ProvenanceRow& row);

    UsageStore& store_;
    ProvenanceState state_;
    ProvenanceView view_;
    std::shared_ptr<const ProvenanceIndex> index_;
    SectionCard* card_;
    QWidget* body_ = nullptr;
    QAbstractButton* moreDays_ = nullptr;
    RebuildScheduler scheduler_;
    quint64 indexGeneration_ = 0;
    bool indexPending_ = false; ///< an index build runs
};

} // namespace vantery::app
