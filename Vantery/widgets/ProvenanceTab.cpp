#include "widgets/ProvenanceTab.hpp"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/BackgroundTask.hpp"
#include "model/LoadingText.hpp"
#include "model/QtText.hpp"
#include "model/UsageStore.hpp"
#include "widgets/SymbolMark.hpp"
#include "widgets/TabLayout.hpp"
#include "widgets/TableViews.hpp"
#include "widgets/TextStyle.hpp"
#include "widgets/Theme.hpp"

namespace vantery::app {

namespace {

/// A whole row (mark and figures) that toggles its node when pressed.
class NodeButton : public QAbstractButton {
  public:
    explicit NodeButton(QWidget* parent = nullptr) : QAbstractButton(parent) {
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    }
    QSize sizeHint() const override { return layout() ? layout()->sizeHint() : QSize(); }
    QSize minimumSizeHint() const override { return layout() ? layout()->minimumSize() : QSize(); }

  protected:
    void paintEvent(QPaintEvent*) override {} // the children draw the row
};

QWidget* rowWidget(const ProvenanceRow& row) {
    QWidget* holder = row.isButton() ? static_cast<QWidget*>(new NodeButton) : new QWidget;
    auto* line = new QHBoxLayout(holder);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(6);
    if (row.markPadding > 0) line->addSpacing(row.markPadding);
    QWidget* mark = nullptr;
    if (row.kind == ProvenanceRow::Kind::agent) {
        // A 5-point circle centred in the same frame as the chevrons.
        mark = new Dot(row.mainSession ? Theme::cacheRead() : Theme::accent(), 5);
    } else {
        const int side = QFontMetrics(TextStyle::caption2()).height();
        mark = new SymbolMark(row.open ? SymbolMark::Symbol::chevronDown
                                       : SymbolMark::Symbol::chevronRight,
                              Theme::secondary(), std::min(side, 10), 10);
    }
    line->addWidget(mark, 0, Qt::AlignVCenter);
    line->addWidget(new BucketRow(row.label, row.bucket, 0, row.accessory), 1);
    return holder;
}

} // namespace

ProvenanceTab::ProvenanceTab(UsageStore& store, QWidget* parent)
    : QWidget(parent), store_(store), card_(new SectionCard(view_.title, view_.subtitle)),
      scheduler_(this, [this] { redraw(); }) {
    TabScrollArea* scroll = TabScrollArea::filling(this);
    QVBoxLayout* page = TabScrollArea::newPage(12);
    page->addWidget(card_);
    scroll->setPage(page);

    // Every published refresh brings a new table: index it off the GUI thread, then
    // redraw once from the new history and records together.
    connect(&store_, &UsageStore::refreshPublished, this, &ProvenanceTab::rebuildIndex);
    // Until the first publish the card shows the store's message, which moves on alone.
    connect(&store_, &UsageStore::stateChanged, this, [this] {
        if (!store_.lastRefresh()) scheduler_.request();
    });
    rebuildIndex();
    redraw();
}

bool ProvenanceTab::indexReady() const {
    return index_ && index_->covers(*store_.table(), store_.userCalendar());
}

void ProvenanceTab::rebuildIndex() {
    const quint64 generation = ++indexGeneration_;
    if (indexReady()) { // a refresh that changed nothing keeps the same table
        scheduler_.request();
        return;
    }
    indexPending_ = true;
    runInBackground(
        this,
        [table = store_.table(), calendar = store_.userCalendar(), resolver = store_.resolver()] {
            return ProvenanceIndex::build(table, calendar, resolver);
        },
        [this, generation](std::shared_ptr<const ProvenanceIndex> index) {
            if (generation != indexGeneration_) return; // a newer refresh is being indexed
            indexPending_ = false;
            index_ = std::move(index);
            scheduler_.request();
        });
}

void ProvenanceTab::toggle(const ProvenanceRow& row) {
    if (row.kind == ProvenanceRow::Kind::day)
        state_.toggleDay(row.day);
    else
        state_.toggleKey(row.nodeKey);
    scheduler_.request();
}

void ProvenanceTab::redraw() {
    // An open day lists its rows from the index; until the index of this table and zone
    // is in place the redraw waits for it rather than walk every request on this thread.
    if (!state_.expandedDays.empty() && !indexReady()) {
        if (!indexPending_) rebuildIndex();
        return;
    }
    const Calendar userCalendar = store_.userCalendar();
    const ProvenanceSource source{store_.history(),
                                  *store_.table(),
                                  store_.resolver(),
                                  store_.calendar(),
                                  userCalendar,
                                  index_.get(),
                                  loadingText(store_.state(), store_.lastRefresh())};
    view_ = ProvenanceTabModel::build(source, state_);

    auto* body = new QWidget;
    auto* table = new QVBoxLayout(body);
    table->setContentsMargins(0, 0, 0, 0);
    table->setSpacing(0);
    if (view_.loading) { // nothing read yet: no day to list, not even the lack of one
        table->addWidget(
            plainText(*view_.loading, TextStyle::callout(), Theme::secondary(), nullptr, true));
    } else {
        table->addWidget(new TableHeader(view_.firstColumn));
        table->addWidget(new Divider);
    }
    if (view_.emptyText) {
        table->addWidget(
            plainText(*view_.emptyText, TextStyle::italic(TextStyle::callout()), Theme::unknown()));
    }
    for (std::size_t i = 0; i < view_.rows.size(); ++i) {
        const ProvenanceRow& row = view_.rows[i];
        if (row.kind == ProvenanceRow::Kind::unknown) {
            auto* none = new QWidget;
            auto* line = new QHBoxLayout(none);
            line->setContentsMargins(row.markPadding, 0, 0, 0);
            line->addWidget(
                plainText(row.label, TextStyle::italic(TextStyle::caption()), Theme::unknown()));
            table->addWidget(none);
        } else {
            QWidget* w = rowWidget(row);
            if (auto* button = dynamic_cast<QAbstractButton*>(w))
                connect(button, &QAbstractButton::clicked, this, [this, row] { toggle(row); });
            table->addWidget(w);
        }
        if (row.endsDay) table->addWidget(new Divider(0.4));
    }
    moreDays_ = nullptr;
    if (view_.moreDays) {
        auto* more = new QPushButton(qs(*view_.moreDays));
        more->setFlat(true);
        more->setCursor(Qt::PointingHandCursor);
        more->setFont(TextStyle::caption());
        more->setStyleSheet(
            QStringLiteral(
                "QPushButton { border: none; padding: 4px 0; text-align: left; color: %1; }")
                .arg(palette().color(QPalette::Link).name()));
        connect(more, &QPushButton::clicked, this, [this] {
            state_.showMoreDays();
            scheduler_.request();
        });
        table->addWidget(more, 0, Qt::AlignLeft);
        moreDays_ = more;
    }
    // Redraws run from the event loop, never inside a row's own click: the old rows can go now.
    delete body_;
    body_ = body;
    card_->addWidget(body_);
    emit redrawn();
}

} // namespace vantery::app
