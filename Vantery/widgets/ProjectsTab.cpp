#include "widgets/ProjectsTab.hpp"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>

#include "model/BucketTableModel.hpp"
#include "model/LoadingText.hpp"
#include "model/ProjectsTabModel.hpp"
#include "widgets/BucketListView.hpp"
#include "widgets/TabLayout.hpp"
#include "widgets/TableViews.hpp"
#include "widgets/TextStyle.hpp"
#include "widgets/Theme.hpp"

namespace vantery::app {

namespace {

/// The toggle's label: a fixed text whose "cwd" is set as inline code; a click on it
/// flips the toggle, as a click on a switch's label does.
class ToggleLabel : public QLabel {
  public:
    ToggleLabel(QAbstractButton* toggle, QWidget* parent) : QLabel(parent), toggle_(toggle) {
        setTextFormat(Qt::RichText);
        setTextInteractionFlags(Qt::NoTextInteraction);
        setFont(TextStyle::callout());
        setText(QString::fromUtf8(ProjectsTabModel::toggleBefore).toHtmlEscaped() + "<code>" +
                QString::fromUtf8(ProjectsTabModel::toggleCode) + "</code>");
    }

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            toggle_->toggle();
    }

  private:
    QAbstractButton* toggle_;
};

} // namespace

// SwitchToggle

SwitchToggle::SwitchToggle(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize SwitchToggle::sizeHint() const {
    return {32, 18};
}

void SwitchToggle::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor off = palette().color(QPalette::WindowText);
    off.setAlphaF(0.2f);
    p.setPen(Qt::NoPen);
    p.setBrush(isChecked() ? Theme::accent() : off);
    p.drawRoundedRect(track, track.height() / 2, track.height() / 2);
    const double d = track.height() - 3;
    const double x = isChecked() ? track.right() - 1.5 - d : track.left() + 1.5;
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(x, track.top() + 1.5, d, d));
}

// ProjectsTab

ProjectsTab::ProjectsTab(UsageStore& store, QWidget* parent) : QWidget(parent), store_(store) {
    TabScrollArea* scroll = TabScrollArea::filling(this);
    QVBoxLayout* column = TabScrollArea::newPage(12);
    QWidget* page = column->parentWidget();

    auto* explanation = new SectionCard(ProjectsTabModel::explanationTitle, std::nullopt, page);
    explanation->content()->setSpacing(10);
    explanation->addWidget(plainText(ProjectsTabModel::explanation(), TextStyle::callout(),
                                     Theme::secondary(), explanation, true));
    tilesSlot_ = new QVBoxLayout;
    tilesSlot_->setContentsMargins(0, 0, 0, 0);
    explanation->content()->addLayout(tilesSlot_);
    auto* toggleBox = new QWidget(explanation);
    auto* toggleRow = new QHBoxLayout(toggleBox);
    toggleRow->setContentsMargins(0, 0, 0, 0);
    toggleRow->setSpacing(8);
    toggle_ = new SwitchToggle(toggleBox);
    toggleRow->addWidget(toggle_);
    toggleRow->addWidget(new ToggleLabel(toggle_, toggleBox));
    toggleRow->addStretch(1);
    explanation->addWidget(toggleBox);
    connect(toggle_, &QAbstractButton::toggled, this, [this](bool on) { setShowRaw(on); });
    column->addWidget(explanation);

    tableCard_ = new SectionCard("Projects", std::string(), page); // rebuild() sets both
    loading_ = plainText({}, TextStyle::callout(), Theme::secondary(), tableCard_, true);
    tableCard_->addWidget(loading_);
    auto* header = new TableHeader(ProjectsTabModel::firstColumn, tableCard_);
    auto* divider = new Divider(1.0, tableCard_);
    empty_ = unknownLine(tableCard_);
    rows_ = new BucketTableModel(ProjectsTabModel::firstColumn, this);
    auto* list = new BucketListView(rows_, tableCard_);
    tableCard_->addWidget(header);
    tableCard_->addWidget(divider);
    tableCard_->addWidget(empty_);
    tableCard_->addWidget(list);
    tableParts_ = {header, divider, list};
    column->addWidget(tableCard_);
    scroll->setPage(column);

    connect(&store_, &UsageStore::historyChanged, this, [this] { rebuild(); });
    // Until the first publish the card shows the store's message, which moves on alone;
    // the history comes before the publish is complete, so the figures follow its state.
    connect(&store_, &UsageStore::stateChanged, this, [this] {
        if (loading_->isVisibleTo(tableCard_)) rebuild();
    });
    rebuild();
}

ProjectsTab::~ProjectsTab() = default;

void ProjectsTab::setShowRaw(bool showRaw) {
    if (toggle_->isChecked() != showRaw)
        toggle_->setChecked(showRaw); // comes back here through toggled
    if (showRaw == showRaw_) return;
    showRaw_ = showRaw;
    rebuild();
}

void ProjectsTab::rebuild() {
    const Report& history = store_.history();
    ProjectsTabModel::Table table = ProjectsTabModel::table(
        history, showRaw_, loadingText(store_.state(), store_.lastRefresh()));
    const bool loading = table.loading.has_value();
    clearLayout(tilesSlot_);
    tiles_ = nullptr;
    if (!loading) { // before the first publish there is nothing to count, not even 0
        tiles_ = tilesRow(ProjectsTabModel::tiles(history));
        tilesSlot_->addWidget(tiles_);
    }

    tableCard_->title()->setText(QString::fromStdString(table.title));
    tableCard_->subtitle()->setText(QString::fromStdString(table.subtitle));
    loading_->setText(QString::fromStdString(table.loading.value_or(std::string())));
    loading_->setVisible(loading);
    for (QWidget* part : tableParts_)
        part->setVisible(!loading);
    empty_->setVisible(!loading && table.rows.empty());
    rows_->setRows(std::move(table.rows));
}

} // namespace vantery::app
