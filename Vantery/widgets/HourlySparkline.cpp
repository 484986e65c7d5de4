#include "widgets/HourlySparkline.hpp"

#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include "widgets/Theme.hpp"

namespace vantery::app {

namespace {
constexpr double gap = 1;
constexpr int hours = 24;
} // namespace

HourlySparkline::HourlySparkline(QWidget* parent) : HourlySparkline(SparklineModel{}, parent) {}

HourlySparkline::HourlySparkline(SparklineModel model, QWidget* parent)
    : QWidget(parent), model_(std::move(model)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void HourlySparkline::setModel(SparklineModel model) {
    model_ = std::move(model);
    update();
}

std::pair<double, double> HourlySparkline::column(int hour) const {
    const double w = (width() - gap * (hours - 1)) / hours;
    return {hour * (w + gap), w};
}

int HourlySparkline::hourAt(QPoint point) const {
    if (point.y() < 0 || point.y() >= height()) return -1;
    for (int h = 0; h < hours; ++h) {
        auto [x, w] = column(h);
        if (point.x() >= x && point.x() < x + w + gap) return h;
    }
    return -1;
}

QSize HourlySparkline::sizeHint() const {
    return {hours * 8, 34};
}
QSize HourlySparkline::minimumSizeHint() const {
    return {hours * 2, int(SparklineModel::tallest)};
}

void HourlySparkline::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    for (const SparklineBar& bar : model_.bars) {
        QColor fill = Theme::accent();
        switch (bar.fill) {
        case SparklineBar::Fill::empty:
            fill = Theme::unknown();
            fill.setAlphaF(fill.alphaF() * 0.18f);
            break;
        case SparklineBar::Fill::faded:
            fill.setAlphaF(0.55f);
            break;
        case SparklineBar::Fill::current:
            break;
        }
        auto [x, w] = column(bar.hour);
        const QRectF rect(x, height() - bar.height, w, bar.height);
        QPainterPath path;
        path.addRoundedRect(rect, 1, 1);
        p.fillPath(path, fill);
    }
}

bool HourlySparkline::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int h = hourAt(help->pos());
        if (h < 0) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(),
                               QString::fromStdString(model_.bars[std::size_t(h)].tooltip), this);
        }
        return true;
    }
    return QWidget::event(event);
}

} // namespace vantery::app
