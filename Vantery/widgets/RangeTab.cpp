#include "widgets/RangeTab.hpp"

#include <QButtonGroup>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLocale>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

#include "model/BucketTableModel.hpp"
#include "widgets/BucketListView.hpp"
#include "widgets/ExportServices.hpp"
#include "widgets/FigureViews.hpp"
#include "widgets/SegmentButton.hpp"
#include "widgets/TableViews.hpp"
#include "widgets/TextStyle.hpp"
#include "widgets/Theme.hpp"

namespace vantery::app {
namespace {

QColor primaryText() {
    return QPalette().color(QPalette::WindowText);
}

QDate toQDate(LocalDay d) {
    return {d.year(), d.month(), d.day()};
}
LocalDay toDay(const QDate& d) {
    return LocalDay::fromYMD(d.year(), d.month(), d.day());
}

/// The small clock before "This range includes today…".
class ClockMark : public QWidget {
  public:
    explicit ClockMark(QWidget* parent) : QWidget(parent) {
        const int side = QFontMetrics(TextStyle::caption()).height() - 2;
        setFixedSize(side, side);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Theme::accent(), 1.2));
        const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
        p.drawEllipse(r);
        p.drawLine(r.center(), QPointF(r.center().x(), r.top() + r.height() * 0.22));
        p.drawLine(r.center(), QPointF(r.right() - r.width() * 0.25, r.center().y()));
    }
};

QDateEdit* dayPicker(QWidget* parent) {
    auto* edit = new QDateEdit(parent);
    // Calendar dates only, the same digits and order whatever the user's locale.
    edit->setLocale(QLocale::c());
    edit->setDisplayFormat("yyyy-MM-dd");
    edit->setCalendarPopup(true);
    edit->setFont(TextStyle::callout());
    return edit;
}

/// A table's column: its header and the divider under it; the rows go below.
QVBoxLayout* tableColumn(const std::string& first, QWidget* box) {
    auto* stack = new QVBoxLayout(box);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(new TableHeader(first, box));
    stack->addWidget(new Divider(1.0, box));
    return stack;
}

/// A long table that stays fast: the painted list draws only the rows in view.
QWidget* table(const std::string& first, std::vector<TableRow> rows, QWidget* parent) {
    auto* box = new QWidget(parent);
    QVBoxLayout* stack = tableColumn(first, box);
    auto* model = new BucketTableModel(first, box);
    model->setRows(std::move(rows));
    stack->addWidget(new BucketListView(model, box));
    return box;
}

/// A short table of widget rows, each followed by a divider.
QWidget* shortTable(const std::string& first, const std::vector<TableRow>& rows, QWidget* parent) {
    auto* box = new QWidget(parent);
    QVBoxLayout* stack = tableColumn(first, box);
    for (const auto& r : rows)
        addTableRow(stack, new BucketRow(r.label, r.bucket, 0, r.accessory, box));
    return box;
}

} // namespace

RangeTab::RangeTab(UsageStore& store, QWidget* parent)
    : RangeTab(store, desktopExportServices, parent) {}

RangeTab::RangeTab(UsageStore& store, ExportServicesFor services, QWidget* parent)
    : QWidget(parent), store_(store), services_(std::move(services)),
      scroll_(TabScrollArea::filling(this)), scheduler_(this, [this] { rebuildCards(); }) {

    page_ = TabScrollArea::newPage(14);
    buildSelector(page_);
    scroll_->setPage(page_);
    showSelection();
    rebuildCards();

    connect(&store_, &UsageStore::rangeSelectionChanged, this, [this] { showSelection(); });
    connect(&store_, &UsageStore::rangeIsComputingChanged, this, [this] {
        showSelection();
        showExportState();
    });
    connect(&store_, &UsageStore::rangeReportChanged, this, [this] { scheduler_.request(); });
    // Until the first publish the cards show the store's message, which moves on alone.
    connect(&store_, &UsageStore::stateChanged, this, [this] {
        if (!store_.lastRefresh()) scheduler_.request();
    });
    connect(&ExportRunner::of(store_), &ExportRunner::runningChanged, this,
            [this] { showExportState(); });
    // Drawn at once from the report already published, then asks for the current one.
    QTimer::singleShot(0, this, [this] { store_.selectRange(store_.rangeSelection()); });
}

RangeTabModel RangeTab::model() const {
    return buildRangeTab({store_.rangeSelection(), store_.rangeReport(), store_.rangeIsComputing(),
                          store_.now(), store_.calendar(), store_.userCalendar(),
                          rangeLoadingText(store_.state(), store_.lastRefresh(),
                                           store_.rangeReportRange().has_value())});
}

void RangeTab::choose(const RangeSelection& selection) {
    // Only a real change asks for a computation: re-picking the same preset does not.
    if (selection == store_.rangeSelection()) return;
    store_.selectRange(selection);
}

void RangeTab::buildSelector(QVBoxLayout* page) {
    const RangeTabModel m = model();
    auto* card = sectionCard(m.selector);

    auto* segments = new QHBoxLayout;
    segments->setSpacing(0);
    presets_ = new QButtonGroup(card);
    presets_->setExclusive(true);
    for (std::size_t i = 0; i < m.presets.size(); ++i) {
        auto* button = new SegmentButton(QString::fromStdString(m.presets[i].label), card);
        button->setObjectName(QString::fromStdString(m.presets[i].id));
        presets_->addButton(button, static_cast<int>(i));
        segments->addWidget(button);
    }
    segments->addStretch(1);
    card->content()->addLayout(segments);
    connect(presets_, &QButtonGroup::idClicked, this, [this](int id) {
        const auto& all = RangePreset::pickable();
        if (id < 0 || id >= static_cast<int>(all.size())) return;
        choose(withPreset(store_.rangeSelection(), all[static_cast<std::size_t>(id)]));
    });

    customDays_ = new QWidget(card);
    auto* days = new QHBoxLayout(customDays_);
    days->setContentsMargins(0, 0, 0, 0);
    days->setSpacing(18);
    firstDay_ = dayPicker(customDays_);
    lastDay_ = dayPicker(customDays_);
    for (auto [text, edit] : {std::pair{"First day", firstDay_}, std::pair{"Last day", lastDay_}}) {
        auto* pair = new QHBoxLayout;
        pair->setSpacing(6);
        pair->addWidget(plainText(text, TextStyle::callout(), primaryText(), customDays_));
        pair->addWidget(edit);
        days->addLayout(pair);
    }
    days->addStretch(1);
    card->addWidget(customDays_);
    connect(firstDay_, &QDateEdit::dateChanged, this, [this](const QDate& d) {
        choose(withCustomFrom(store_.rangeSelection(), toDay(d), store_.calendar()));
    });
    connect(lastDay_, &QDateEdit::dateChanged, this, [this](const QDate& d) {
        choose(withCustomTo(store_.rangeSelection(), toDay(d), store_.calendar()));
    });

    card->addWidget(new Divider(1.0, card));

    auto* titleLine = new QHBoxLayout;
    titleLine->setSpacing(10);
    title_ =
        plainText("", TextStyle::weighted(TextStyle::title3(), QFont::Medium), primaryText(), card);
    label_ = plainText("", Theme::monoSmall(), Theme::secondary(), card);
    dayCount_ = plainText("", TextStyle::caption(), Theme::secondary(), card);
    progress_ = new QProgressBar(card);
    progress_->setRange(0, 0);
    progress_->setTextVisible(false);
    progress_->setFixedSize(48, 8);
    titleLine->addWidget(title_, 0, Qt::AlignBaseline);
    titleLine->addWidget(label_, 0, Qt::AlignBaseline);
    titleLine->addWidget(dayCount_, 0, Qt::AlignBaseline);
    titleLine->addWidget(progress_, 0, Qt::AlignVCenter);
    titleLine->addStretch(1);
    card->content()->addLayout(titleLine);

    clockLine_ = new QWidget(card);
    auto* clock = new QHBoxLayout(clockLine_);
    clock->setContentsMargins(0, 0, 0, 0);
    clock->setSpacing(4);
    clock->addWidget(new ClockMark(clockLine_));
    clockText_ = plainText("", TextStyle::caption(), Theme::accent(), clockLine_);
    clock->addWidget(clockText_);
    clock->addStretch(1);
    card->addWidget(clockLine_);

    page->addWidget(card);
}

void RangeTab::showSelection() {
    // The selector's parts do not depend on the report: skip building its tables.
    static const Report noReport;
    const RangeTabModel m =
        buildRangeTab({store_.rangeSelection(), noReport, store_.rangeIsComputing(), store_.now(),
                       store_.calendar(), store_.userCalendar()});
    if (auto* b = presets_->button(m.selectedPreset)) b->setChecked(true);
    customDays_->setVisible(m.showCustomDays);
    for (auto [edit, day] : {std::pair{firstDay_, m.customFrom}, std::pair{lastDay_, m.customTo}}) {
        const QSignalBlocker quiet(edit); // showing the store's value is not a user's pick
        edit->setDate(toQDate(day));
    }
    title_->setText(QString::fromStdString(m.title));
    label_->setText(QString::fromStdString(m.label.value_or("")));
    label_->setVisible(m.label.has_value());
    dayCount_->setText(QString::fromStdString(m.dayCount));
    progress_->setVisible(m.computing);
    clockText_->setText(QString::fromStdString(m.clockLine.value_or("")));
    clockLine_->setVisible(m.clockLine.has_value());
}

void RangeTab::rebuildCards() {
    RangeTabModel m = model();
    exportButtons_.clear();
    noteLabel_ = nullptr;
    delete cards_;
    cards_ = new QWidget;
    auto* stack = new QVBoxLayout(cards_);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(14);

    if (m.loading) { // nothing to tell of the period yet, not even that it is empty
        auto* card = sectionCard({m.title, std::nullopt}, cards_);
        card->addWidget(
            plainText(*m.loading, TextStyle::callout(), Theme::secondary(), card, true));
        stack->addWidget(card);
    } else if (!m.hasRequests) {
        auto* card = sectionCard(m.empty, cards_);
        card->addWidget(
            plainText(m.emptyText, TextStyle::callout(), Theme::secondary(), card, true));
        stack->addWidget(card);
    } else {
        auto* totals = sectionCard(m.totals, cards_);
        addHeadlineRows(totals, "TOTAL", m.cost, m.costCaveat, m.firstRow, m.secondRow,
                        Qt::AlignVCenter);
        totals->addWidget(new CompositionBar(m.total, 8, true, totals));
        totals->addWidget(new Divider(1.0, totals));
        totals->addWidget(exportBar(buildExportBar(note_, exportsAvailable()), totals));
        stack->addWidget(totals);

        auto* projects = sectionCard(m.projectsCard, cards_, 0);
        projects->addWidget(table("project", std::move(m.projects), projects));
        stack->addWidget(projects);
        auto* agents = sectionCard(m.agentsCard, cards_, 0);
        agents->addWidget(shortTable("agent", m.agents, agents));
        stack->addWidget(agents);
        auto* days = sectionCard(m.daysCard, cards_, 0);
        days->addWidget(table("day", std::move(m.days), days));
        stack->addWidget(days);
    }
    page_->insertWidget(1, cards_);
    cards_->show(); // now, not on the next turn of the event loop: the tab is redrawn at once
}

QWidget* RangeTab::exportBar(const ExportBarModel& bar, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* stack = new QVBoxLayout(box);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(6);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    const QStyle::StandardPixmap icons[] = {QStyle::SP_DialogSaveButton, QStyle::SP_DirOpenIcon,
                                            QStyle::SP_FileDialogContentsView};
    for (std::size_t i = 0; i < bar.buttons.size(); ++i) {
        const ExportButton& b = bar.buttons[i];
        auto* button = new QPushButton(style()->standardIcon(icons[i % 3]),
                                       QString::fromStdString(b.label), box);
        button->setToolTip(QString::fromStdString(b.tooltip));
        button->setAutoDefault(false);
        button->setDefault(b.prominent); // the prominent style of the first button
        if (b.prominent) button->setFont(TextStyle::weighted(button->font(), QFont::DemiBold));
        button->setEnabled(bar.enabled);
        connect(button, &QPushButton::clicked, this, [this, op = b.operation] { runExport(op); });
        buttons->addWidget(button);
        exportButtons_.push_back(button);
    }
    buttons->addStretch(1);
    stack->addLayout(buttons);
    noteLabel_ = plainText("", TextStyle::caption(), Theme::secondary(), box, true);
    stack->addWidget(noteLabel_);
    showExportState();
    return box;
}

void RangeTab::showExportState() {
    const ExportBarModel bar = buildExportBar(note_, exportsAvailable());
    for (auto* button : exportButtons_)
        button->setEnabled(bar.enabled);
    if (!noteLabel_) return;
    noteLabel_->setVisible(bar.note.has_value());
    noteLabel_->setText(QString::fromStdString(bar.note.value_or("")));
    TextStyle::setTextColor(noteLabel_, bar.noteFailed ? QColor(Qt::red) : Theme::secondary());
}

bool RangeTab::exportsAvailable() const {
    return ExportRunner::of(store_).canStart();
}

void RangeTab::runExport(ExportOperation operation) {
    ExportRunner::of(store_).start(operation, services_(this), this,
                                   [this](const ExportController::Outcome& outcome) {
                                       note_.record(outcome);
                                       showExportState();
                                   });
}

} // namespace vantery::app
