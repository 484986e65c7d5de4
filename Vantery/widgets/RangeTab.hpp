#pragma once
// The Date range tab: the billing-period selector, then the store's range report as
// totals with the export bar, and tables by project, agent and day. The selection lives
// in the store; the tab keeps only the note on its last export.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QWidget>

#include "model/ExportBarModel.hpp"
#include "model/ExportRunner.hpp"
#include "model/RangeTabModel.hpp"
#include "model/UsageStore.hpp"
#include "widgets/RebuildScheduler.hpp"
#include "widgets/TabLayout.hpp"

class QAbstractButton;
class QButtonGroup;
class QDateEdit;
class QLabel;
class QProgressBar;

namespace vantery::app {

/// The services of one export, dialogs over `dialogParent`; the desktop's are
/// desktopExportServices (ExportServices.hpp).
using ExportServicesFor = std::function<ExportServices(QWidget* dialogParent)>;

class RangeTab : public QWidget {
    Q_OBJECT
  public:
    explicit RangeTab(UsageStore& store, QWidget* parent = nullptr);
    /// A tab whose exports use `services` (tests replace the dialogs this way). They run
    /// on the store's ExportRunner, one at a time with the File menu's.
    RangeTab(UsageStore& store, ExportServicesFor services, QWidget* parent = nullptr);

    /// The export buttons, in bar order (empty while no totals card is shown).
    const std::vector<QAbstractButton*>& exportButtons() const noexcept { return exportButtons_; }
    /// The note under the export buttons, or null.
    QLabel* exportNoteLabel() const noexcept { return noteLabel_; }

  private:
    void buildSelector(QVBoxLayout* page);
    void showSelection();
    void rebuildCards();
    void choose(const RangeSelection& selection);
    void runExport(ExportOperation operation);
    QWidget* exportBar(const ExportBarModel& bar, QWidget* parent);
    void showExportState();
    bool exportsAvailable() const;
    RangeTabModel model() const;

    UsageStore& store_;
    ExportServicesFor services_;
    ExportNote note_;
    TabScrollArea* scroll_;
    QVBoxLayout* page_ = nullptr;
    QWidget* cards_ = nullptr;
    RebuildScheduler scheduler_;

    QButtonGroup* presets_ = nullptr;
    QWidget* customDays_ = nullptr;
    QDateEdit* firstDay_ = nullptr;
    QDateEdit* lastDay_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* label_ = nullptr;
    QLabel* dayCount_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QWidget* clockLine_ = nullptr;
    QLabel* clockText_ = nullptr;
    std::vector<QAbstractButton*> exportButtons_;
    QLabel* noteLabel_ = nullptr;
};

} // namespace vantery::app
