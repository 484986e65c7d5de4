#include "widgets/FigureViews.hpp"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "model/QtText.hpp"
#include "widgets/SymbolMark.hpp"
#include "widgets/TextStyle.hpp"
#include "widgets/Theme.hpp"

namespace vantery::app {

namespace {

/// A caption-sized circled "i" in front of the disclaimer.
class InfoMark : public QWidget {
  public:
    explicit InfoMark(QWidget* parent) : QWidget(parent) {
        const int side = QFontMetrics(TextStyle::caption2()).height() - 2;
        setFixedSize(side, side);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor c = Theme::secondary();
        const QRectF r = QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75);
        p.setPen(QPen(c, 1.2));
        p.drawEllipse(r);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        const double cx = r.center().x();
        const double unit = r.height() / 10;
        p.drawEllipse(QPointF(cx, r.top() + 3 * unit), unit * 0.75, unit * 0.75);
        p.drawRect(QRectF(cx - unit * 0.6, r.top() + 4.5 * unit, unit * 1.2, 3.6 * unit));
    }
};

} // namespace

QColor toneColor(Tone tone, const QColor& primary) {
    switch (tone) {
    case Tone::primary:
        return primary;
    case Tone::accent:
        return Theme::accent();
    case Tone::unknown:
        return Theme::unknown();
    case Tone::secondary:
        return Theme::secondary();
    }
    return primary;
}

QColor componentColor(Component component) {
    switch (component) {
    case Component::cacheRead:
        return Theme::cacheRead();
    case Component::cacheWrite:
        return Theme::cacheWrite();
    case Component::output:
        return Theme::output();
    case Component::input:
        return Theme::input();
    }
    return Theme::unknown();
}

void applyFigure(QLabel* label, const FigureText& figure, const QFont& font,
                 const QColor& primary) {
    label->setTextFormat(Qt::PlainText); // data never renders as markup
    label->setText(qs(figure.text));
    label->setFont(figure.italic ? TextStyle::italic(font) : font);
    TextStyle::setTextColor(label, toneColor(figure.tone, primary));
    label->setToolTip(qs(figure.tooltip));
}

// EstimateText

EstimateText::EstimateText(const FigureText& figure, const QFont& font, const QColor& color,
                           QWidget* parent)
    : QLabel(parent), font_(font), color_(color) {
    setFigure(figure);
}

void EstimateText::setFigure(const FigureText& figure) {
    applyFigure(this, figure, font_, color_);
}

// CaveatMarker

CaveatMarker::CaveatMarker(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize CaveatMarker::sizeHint() const {
    const int side = QFontMetrics(TextStyle::caption2()).height() - 2;
    return {side, side};
}

void CaveatMarker::paint(QPainter& p, const QRectF& rect) {
    const double side = std::min(rect.width(), rect.height());
    SymbolMark::paint(
        p, QRectF(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side),
        SymbolMark::Symbol::warningTriangle, Theme::accent());
}

void CaveatMarker::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paint(p, rect());
}

// CostText

CostText::CostText(const CostEstimate& cost, const QFont& font, const QColor& color,
                   QWidget* parent)
    : QWidget(parent), font_(font), color_(color), amount_(new QLabel(this)),
      marker_(new CaveatMarker(this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    row->addWidget(amount_, 0, Qt::AlignVCenter);
    row->addWidget(marker_, 0, Qt::AlignVCenter);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    setCost(cost);
}

void CostText::setCost(const CostEstimate& cost) {
    const CostFigure figure = FigureTexts::cost(cost);
    applyFigure(amount_, {figure.text, figure.tone, false, {}}, font_, color_);
    marker_->setVisible(figure.caveat.has_value());
    marker_->setToolTip(figure.caveat ? qs(*figure.caveat) : QString());
}

// CompositionBar

class CompositionBar::Strip : public QWidget {
  public:
    Strip(double height, QWidget* parent) : QWidget(parent) {
        setFixedHeight(qRound(height));
        setMinimumWidth(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    void setBucket(const Bucket& bucket) {
        bucket_ = bucket;
        update();
    }
    QSize sizeHint() const override { return {90, height()}; }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        CompositionBar::paint(p, rect(), bucket_);
    }

  private:
    Bucket bucket_;
};

CompositionBar::CompositionBar(const Bucket& bucket, double height, bool showLegend,
                               QWidget* parent)
    : QWidget(parent), strip_(new Strip(height, this)) {
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(6);
    stack->addWidget(strip_);
    if (showLegend) {
        legend_ = new QLabel(this);
        stack->addWidget(legend_, 0, Qt::AlignLeft);
    }
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setBucket(bucket);
}

void CompositionBar::setBucket(const Bucket& bucket) {
    strip_->setBucket(bucket);
    if (legend_)
        applyFigure(legend_, FigureTexts::dominant(bucket), TextStyle::caption2(),
                    Theme::secondary());
}

void CompositionBar::paint(QPainter& p, const QRectF& rect, const Bucket& bucket) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const double radius = rect.height() / 2;
    QPainterPath capsule;
    capsule.addRoundedRect(rect, radius, radius);
    p.setClipPath(capsule);
    p.setPen(Qt::NoPen);
    const auto rects = FigureTexts::barLayout(bucket, rect.width());
    if (rects.empty()) {
        QColor faded = Theme::unknown();
        faded.setAlphaF(faded.alphaF() * 0.25f);
        p.fillRect(rect, faded);
    }
    for (const auto& r : rects)
        p.fillRect(QRectF(rect.left() + r.x, rect.top(), r.width, rect.height()),
                   componentColor(r.component));
    p.restore();
}

// DisclaimerLine

DisclaimerLine::DisclaimerLine(QWidget* parent) : QWidget(parent), text_(new QLabel(this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    row->addWidget(new InfoMark(this), 0, Qt::AlignVCenter);
    row->addWidget(text_, 1, Qt::AlignVCenter);
    applyFigure(text_, {FigureTexts::disclaimer(), Tone::secondary, false, {}},
                TextStyle::caption2(), Theme::secondary());
    text_->setWordWrap(true);
}

} // namespace vantery::app
