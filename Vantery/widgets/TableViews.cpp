#include "widgets/TableViews.hpp"

#include <QHBoxLayout>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include "model/Fmt.hpp"
#include "model/QtText.hpp"
#include "widgets/TextStyle.hpp"
#include "widgets/Theme.hpp"

namespace vantery::app {

namespace {

QLabel* plainLabel(const std::string& text, const QFont& font, const QColor& color,
                   QWidget* parent) {
    auto* label = new QLabel(parent);
    applyFigure(label, {text, Tone::primary, false, {}}, font, color);
    return label;
}

QColor primaryText(const QWidget* w) {
    return w->palette().color(QPalette::WindowText);
}

/// A fixed-width cell whose content sits at `align`.
QWidget* cell(QWidget* content, int width, Qt::Alignment align, QWidget* parent) {
    auto* box = new QWidget(parent);
    box->setFixedWidth(width);
    auto* l = new QHBoxLayout(box);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(0);
    content->setParent(box);
    if (align & Qt::AlignHCenter) { // a centred bar fills its column
        l->addWidget(content, 1, Qt::AlignVCenter);
        return box;
    }
    l->addWidget(content, 0, align | Qt::AlignVCenter);
    if (align & Qt::AlignRight) l->insertStretch(0, 1);
    if (align & Qt::AlignLeft) l->addStretch(1);
    return box;
}

} // namespace

// ElidedLabel

ElidedLabel::ElidedLabel(const QString& text, Qt::TextElideMode mode, QWidget* parent)
    : QLabel(parent), mode_(mode) {
    setTextFormat(Qt::PlainText);
    setText(qs(Fmt::cleanName(text.toStdString())));
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QSize ElidedLabel::minimumSizeHint() const {
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(QStringLiteral("\u2026")), fm.height()};
}

QString ElidedLabel::shownText() const {
    return QFontMetrics(font()).elidedText(text(), mode_, contentsRect().width());
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    p.setFont(font());
    p.drawText(contentsRect(), int(Qt::AlignLeft | Qt::AlignVCenter) | Qt::TextSingleLine,
               shownText());
}

// Divider

Divider::Divider(double opacity, QWidget* parent) : QWidget(parent), opacity_(opacity) {
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

Divider* Divider::vertical(int height, QWidget* parent) {
    auto* d = new Divider(1.0, parent);
    d->orientation_ = Qt::Vertical;
    d->setMinimumHeight(0);
    d->setMaximumHeight(QWIDGETSIZE_MAX);
    d->setFixedSize(1, height);
    return d;
}

void Divider::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QColor c = palette().color(QPalette::WindowText);
    c.setAlphaF(float(0.15 * opacity_)); // the platform separator: a faint line of the text colour
    p.fillRect(rect(), c);
}

// Dot

Dot::Dot(const QColor& color, int side, double cornerRadius, QWidget* parent)
    : QWidget(parent), color_(color), radius_(cornerRadius) {
    setFixedSize(side, side);
}

void Dot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color_);
    if (radius_ < 0)
        p.drawEllipse(QRectF(rect()));
    else
        p.drawRoundedRect(QRectF(rect()), radius_, radius_);
}

// BucketRow

BucketRow::BucketRow(const std::string& label, const Bucket& bucket, int indent,
                     const std::optional<std::string>& accessory, QWidget* parent)
    : QWidget(parent), label_(new ElidedLabel(qs(label), Qt::ElideMiddle, this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, TableColumns::rowPadding, 0, TableColumns::rowPadding);
    row->setSpacing(TableColumns::spacing);

    auto* first = new QHBoxLayout;
    first->setSpacing(6);
    // Box layouts put no spacing next to a spacer item: add the 6 that follows it here.
    if (indent > 0) first->addSpacing(indent + 6);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    label_->setFont(TextStyle::body());
    texts->addWidget(label_);
    if (accessory) {
        accessory_ =
            plainLabel(Fmt::shownText(*accessory), TextStyle::caption2(), Theme::secondary(), this);
        accessory_->setWordWrap(true);
        texts->addWidget(accessory_);
    }
    first->addLayout(texts, 1);
    row->addLayout(first, 1);

    row->addWidget(
        cell(plainLabel(FigureTexts::requests(bucket), Theme::monoSmall(), primaryText(this), this),
             TableColumns::requests, Qt::AlignRight, this));
    row->addWidget(
        cell(plainLabel(FigureTexts::tokens(bucket), Theme::monoSmall(), primaryText(this), this),
             TableColumns::tokens, Qt::AlignRight, this));
    row->addWidget(cell(new CompositionBar(bucket, TableColumns::barHeight, false, this),
                        TableColumns::composition, Qt::AlignHCenter, this));
    row->addWidget(cell(new CostText(bucket.cost, Theme::mono(), primaryText(this), this),
                        TableColumns::cost, Qt::AlignRight, this));
}

// TableHeader

TableHeader::TableHeader(const std::string& first, QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, TableColumns::headerPadding, 0, TableColumns::headerPadding);
    row->setSpacing(TableColumns::spacing);
    const QFont font = TextStyle::weighted(TextStyle::caption2(), QFont::DemiBold);
    const QColor color = Theme::secondary();
    auto* firstTitle = new ElidedLabel(qs(first), Qt::ElideRight, this);
    firstTitle->setFont(font);
    TextStyle::setTextColor(firstTitle, color);
    row->addWidget(firstTitle, 1);
    row->addWidget(cell(plainLabel("requests", font, color, this), TableColumns::requests,
                        Qt::AlignRight, this));
    row->addWidget(
        cell(plainLabel("tokens", font, color, this), TableColumns::tokens, Qt::AlignRight, this));
    row->addWidget(cell(plainLabel("composition", font, color, this), TableColumns::composition,
                        Qt::AlignLeft, this));
    row->addWidget(
        cell(plainLabel("cost", font, color, this), TableColumns::cost, Qt::AlignRight, this));
}

void addTableRow(QBoxLayout* table, QWidget* row, double dividerOpacity) {
    table->addWidget(row);
    table->addWidget(new Divider(dividerOpacity));
}

// SectionCard

SectionCard::SectionCard(const std::string& title, const std::optional<std::string>& subtitle,
                         QWidget* parent)
    : QWidget(parent), title_(plainLabel(title, TextStyle::headline(), primaryText(this), this)),
      content_(new QVBoxLayout) {
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(14, 14, 14, 14);
    stack->setSpacing(10);
    auto* header = new QVBoxLayout;
    header->setSpacing(2);
    title_->setWordWrap(true);
    header->addWidget(title_);
    if (subtitle) {
        subtitle_ = plainLabel(*subtitle, TextStyle::caption(), Theme::secondary(), this);
        subtitle_->setWordWrap(true);
        header->addWidget(subtitle_);
    }
    stack->addLayout(header);
    content_->setContentsMargins(0, 0, 0, 0);
    content_->setSpacing(0);
    stack->addLayout(content_);
}

void SectionCard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(palette().color(QPalette::Base)); // the platform's control background
    p.drawRoundedRect(QRectF(rect()), 10, 10);
}

// StatTile

StatTile::StatTile(const std::string& title, QWidget* parent)
    : QWidget(parent),
      title_(plainLabel(FigureTexts::tileTitle(title),
                        TextStyle::weighted(TextStyle::caption2(), QFont::DemiBold),
                        Theme::secondary(), this)) {}

StatTile::StatTile(const std::string& title, const FigureText& figure,
                   const std::optional<std::string>& note, QWidget* parent)
    : StatTile(title, parent) {
    figure_ = new EstimateText(figure, TextStyle::title3(), primaryText(this), this);
    stack(figure_, note);
}

StatTile::StatTile(const std::string& title, const CostEstimate& cost,
                   const std::optional<std::string>& note, QWidget* parent)
    : StatTile(title, parent) {
    cost_ = new CostText(cost, TextStyle::title3(), primaryText(this), this);
    stack(cost_, note);
}

void StatTile::stack(QWidget* figure, const std::optional<std::string>& note) {
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(3);
    stack->addWidget(title_);
    if (cost_)
        stack->addWidget(figure, 0, Qt::AlignLeft); // the marker sits right after the amount
    else
        stack->addWidget(figure);
    if (note) {
        note_ = plainLabel(*note, TextStyle::caption2(), Theme::secondary(), this);
        note_->setWordWrap(true);
        stack->addWidget(note_);
    }
    stack->addStretch(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

} // namespace vantery::app
