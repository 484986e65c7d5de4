#include "widgets/SymbolMark.hpp"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace vantery::app {

SymbolMark::SymbolMark(Symbol symbol, const QColor& color, int side, int width, QWidget* parent)
    : QWidget(parent), symbol_(symbol), color_(color), side_(side) {
    setFixedSize(width > 0 ? width : side, side);
}

void SymbolMark::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // The glyph sits in a centred square of side side_.
    paint(p, QRectF((width() - side_) / 2.0, (height() - side_) / 2.0, side_, side_), symbol_,
          color_);
}

void SymbolMark::paint(QPainter& p, const QRectF& square, Symbol symbol, const QColor& color) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const double s = square.width();
    p.translate(square.topLeft());
    QPen pen(color, std::max(1.2, s / 9.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    const QRectF box(0.5, 0.5, s - 1, s - 1);
    const auto checkPath = [&](double inset) {
        QPainterPath path;
        path.moveTo(box.left() + inset * 1.1, box.center().y());
        path.lineTo(box.left() + s * 0.42, box.bottom() - inset);
        path.lineTo(box.right() - inset, box.top() + inset * 1.2);
        return path;
    };
    switch (symbol) {
    case Symbol::chevronRight:
    case Symbol::chevronDown: {
        p.setPen(pen);
        QPainterPath path;
        const double a = s * 0.3, b = s * 0.7;
        if (symbol == Symbol::chevronRight) {
            path.moveTo(s * 0.38, a);
            path.lineTo(s * 0.62, s / 2);
            path.lineTo(s * 0.38, b);
        } else {
            path.moveTo(a, s * 0.38);
            path.lineTo(s / 2, s * 0.62);
            path.lineTo(b, s * 0.38);
        }
        p.drawPath(path);
        break;
    }
    case Symbol::eye: {
        p.setPen(pen);
        QPainterPath path;
        path.moveTo(box.left(), box.center().y());
        path.quadTo(box.center().x(), box.top() - s * 0.1, box.right(), box.center().y());
        path.quadTo(box.center().x(), box.bottom() + s * 0.1, box.left(), box.center().y());
        p.drawPath(path);
        p.setBrush(color);
        p.drawEllipse(box.center(), s * 0.14, s * 0.14);
        break;
    }
    case Symbol::checkCircle:
    case Symbol::questionCircle: {
        p.setPen(pen);
        p.drawEllipse(
            box.adjusted(pen.widthF() / 2, pen.widthF() / 2, -pen.widthF() / 2, -pen.widthF() / 2));
        if (symbol == Symbol::checkCircle) {
            p.drawPath(checkPath(s * 0.28));
        } else {
            QFont f = p.font();
            f.setPixelSize(int(s * 0.7));
            f.setBold(true);
            p.setFont(f);
            p.drawText(box, Qt::AlignCenter, QStringLiteral("?"));
        }
        break;
    }
    case Symbol::warningTriangle: {
        QPainterPath triangle;
        triangle.moveTo(s / 2, s * 0.05);
        triangle.lineTo(s, s * 0.95);
        triangle.lineTo(0, s * 0.95);
        triangle.closeSubpath();
        p.setPen(QPen(color, s * 0.08, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(color);
        p.drawPath(triangle);
        // The exclamation mark, cut out in white.
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        const double w = s * 0.12;
        p.drawRoundedRect(QRectF(s / 2 - w / 2, s * 0.35, w, s * 0.3), w / 2, w / 2);
        p.drawEllipse(QPointF(s / 2, s * 0.77), w * 0.6, w * 0.6);
        break;
    }
    case Symbol::checkSeal:
    case Symbol::xmarkSeal: {
        // A rosette: a circle with a scalloped rim, filled, the mark cut out in white.
        QPainterPath seal;
        const QPointF c = box.center();
        const int points = 12;
        for (int i = 0; i <= points * 2; ++i) {
            const double angle = M_PI * i / points;
            const double r = (i % 2 == 0 ? 0.5 : 0.43) * (s - 1);
            const QPointF pt(c.x() + r * std::cos(angle), c.y() + r * std::sin(angle));
            i == 0 ? seal.moveTo(pt) : seal.lineTo(pt);
        }
        p.fillPath(seal, color);
        QPen mark(Qt::white, std::max(1.3, s / 8.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(mark);
        if (symbol == Symbol::checkSeal) {
            p.drawPath(checkPath(s * 0.3));
        } else {
            const double d = s * 0.2;
            p.drawLine(c + QPointF(-d, -d), c + QPointF(d, d));
            p.drawLine(c + QPointF(-d, d), c + QPointF(d, -d));
        }
        break;
    }
    }
    p.restore();
}

} // namespace vantery::app
