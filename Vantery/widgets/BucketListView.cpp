#include "widgets/BucketListView.hpp"

#include <algorithm>

#include <QHelpEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>

#include "model/Fmt.hpp"
#include "model/QtText.hpp"
#include "widgets/FigureViews.hpp"
#include "widgets/TableViews.hpp"
#include "widgets/TextStyle.hpp"
#include "widgets/Theme.hpp"

namespace vantery::app {

namespace {
int labelHeight() {
    return QFontMetrics(TextStyle::body()).height();
}
int captionHeight() {
    return QFontMetrics(TextStyle::caption2()).height();
}
int markerSide() {
    return captionHeight() - 2;
}
} // namespace

struct BucketListView::Columns {
    QRect label, requests, tokens, composition, cost;
};

BucketListView::BucketListView(BucketTableModel* model, QWidget* parent)
    : QWidget(parent), model_(model) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMouseTracking(true);
    const auto follow = [this] { relayout(); };
    connect(model, &QAbstractItemModel::modelReset, this, follow);
    connect(model, &QAbstractItemModel::layoutChanged, this, follow);
    connect(model, &QAbstractItemModel::rowsInserted, this, follow);
    connect(model, &QAbstractItemModel::rowsRemoved, this, follow);
    connect(model, &QAbstractItemModel::rowsMoved, this, follow);
    connect(model, &QAbstractItemModel::dataChanged, this, follow);
    relayout();
}

void BucketListView::relayout() {
    const int rows = model_ ? model_->rowCount() : 0;
    const int plain = TableColumns::rowPadding * 2 + labelHeight();
    const int withCaption = plain + 1 + captionHeight();
    tops_.assign(static_cast<std::size_t>(rows) + 1, 0);
    for (int i = 0; i < rows; ++i) {
        const bool caption = model_->row(i).accessory.has_value();
        tops_[std::size_t(i) + 1] =
            tops_[std::size_t(i)] + (caption ? withCaption : plain) + 1; // + divider
    }
    setFixedHeight(tops_.back());
    updateGeometry();
    update();
}

QSize BucketListView::sizeHint() const {
    return {minimumSizeHint().width() + 200, tops_.back()};
}

QSize BucketListView::minimumSizeHint() const {
    using namespace TableColumns;
    return {40 + 4 * spacing + requests + tokens + composition + cost, tops_.back()};
}

int BucketListView::rowAt(int y) const {
    if (y < 0 || y >= tops_.back()) return -1;
    const auto it = std::upper_bound(tops_.begin(), tops_.end(), y);
    return static_cast<int>(it - tops_.begin()) - 1;
}

int BucketListView::rowTop(int row) const {
    return tops_.at(std::size_t(row));
}

int BucketListView::rowHeight(int row) const {
    return tops_.at(std::size_t(row) + 1) - tops_.at(std::size_t(row)) - 1;
}

BucketListView::Columns BucketListView::columns() const {
    using namespace TableColumns;
    Columns c;
    int right = width();
    const auto take = [&right](int w) {
        QRect r(right - w, 0, w, 0);
        right -= w + spacing;
        return r;
    };
    c.cost = take(cost);
    c.composition = take(composition);
    c.tokens = take(tokens);
    c.requests = take(requests);
    c.label = QRect(0, 0, std::max(0, right), 0);
    return c;
}

void BucketListView::paintEvent(QPaintEvent* event) {
    if (!model_ || model_->rowCount() == 0) return;
    QPainter p(this);
    const Columns cols = columns();
    const QColor primary = palette().color(QPalette::WindowText);
    QColor divider = primary;
    divider.setAlphaF(float(0.15 * TableColumns::rowDividerOpacity));
    const QFont body = TextStyle::body(), caption = TextStyle::caption2();
    const QFont mono = Theme::mono(), small = Theme::monoSmall();

    const int first = std::max(0, rowAt(event->rect().top()));
    int last = rowAt(event->rect().bottom());
    if (last < 0) last = model_->rowCount() - 1;
    for (int i = first; i <= last; ++i) {
        const BucketTableRow& r = model_->row(i);
        const int top = tops_[std::size_t(i)];
        const int h = rowHeight(i);
        const auto span = [top, h](QRect c) { return QRect(c.left(), top, c.width(), h); };

        // Label and caption, one line each.
        QRect text =
            span(cols.label).adjusted(0, TableColumns::rowPadding, 0, -TableColumns::rowPadding);
        p.setFont(body);
        p.setPen(primary);
        const QRect labelRect(text.left(), text.top(), text.width(), labelHeight());
        p.drawText(labelRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   QFontMetrics(body).elidedText(qs(Fmt::cleanName(r.label)), Qt::ElideMiddle,
                                                 labelRect.width()));
        if (r.accessory) {
            p.setFont(caption);
            p.setPen(Theme::secondary());
            const QRect captionRect(text.left(), labelRect.bottom() + 2, text.width(),
                                    captionHeight());
            p.drawText(captionRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                       QFontMetrics(caption).elidedText(qs(Fmt::shownText(*r.accessory)),
                                                        Qt::ElideRight, captionRect.width()));
        }

        // Counts.
        p.setFont(small);
        p.setPen(primary);
        p.drawText(span(cols.requests), Qt::AlignRight | Qt::AlignVCenter,
                   qs(FigureTexts::requests(r.bucket)));
        p.drawText(span(cols.tokens), Qt::AlignRight | Qt::AlignVCenter,
                   qs(FigureTexts::tokens(r.bucket)));

        // Composition bar, centred in its column.
        const QRect bar = span(cols.composition);
        CompositionBar::paint(p,
                              QRectF(bar.left(),
                                     bar.center().y() - TableColumns::barHeight / 2.0 + 0.5,
                                     bar.width(), TableColumns::barHeight),
                              r.bucket);

        // Cost, with the caveat marker inside the column.
        const CostFigure cost = FigureTexts::cost(r.bucket.cost);
        QRect costRect = span(cols.cost);
        if (cost.caveat) {
            const int side = markerSide();
            CaveatMarker::paint(p, QRectF(costRect.right() + 1 - side,
                                          costRect.center().y() - side / 2.0 + 0.5, side, side));
            costRect.setRight(costRect.right() - side - 4);
        }
        p.setFont(mono);
        p.setPen(toneColor(cost.tone, primary));
        p.drawText(costRect, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, qs(cost.text));

        p.fillRect(QRect(0, top + h, width(), 1), divider);
    }
}

bool BucketListView::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip && model_) {
        auto* help = static_cast<QHelpEvent*>(e);
        const int row = rowAt(help->pos().y());
        const Columns cols = columns();
        if (row >= 0 && help->pos().x() >= cols.cost.left()) {
            if (auto caveat = FigureTexts::cost(model_->row(row).bucket.cost).caveat) {
                QToolTip::showText(help->globalPos(), qs(*caveat), this);
                return true;
            }
        }
        QToolTip::hideText();
        e->ignore();
        return true;
    }
    return QWidget::event(e);
}

void BucketListView::changeEvent(QEvent* e) {
    if (e->type() == QEvent::FontChange || e->type() == QEvent::ApplicationFontChange) relayout();
    QWidget::changeEvent(e);
}

} // namespace vantery::app
