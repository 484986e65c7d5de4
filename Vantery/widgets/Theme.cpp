#include "widgets/Theme.hpp"

#include <algorithm>

#include <QApplication>
#include <QFontDatabase>
#include <QPalette>

#include "widgets/TextStyle.hpp"

namespace vantery::app::Theme {

namespace {
QColor srgb(double r, double g, double b) {
    return QColor::fromRgbF(float(r), float(g), float(b), 1.0f);
}
} // namespace

QColor accent() {
    return srgb(0.95, 0.45, 0.2);
}
QColor cacheRead() {
    return srgb(0.36, 0.55, 0.85);
}
QColor cacheWrite() {
    return srgb(0.55, 0.45, 0.8);
}
QColor output() {
    return srgb(0.3, 0.68, 0.5);
}
QColor input() {
    return srgb(0.85, 0.7, 0.3);
}

QColor secondary() {
    QColor c = QApplication::palette().color(QPalette::WindowText);
    c.setAlphaF(0.6f);
    return c;
}

QColor unknown() {
    QColor c = secondary();
    c.setAlphaF(c.alphaF() * 0.55f);
    return c;
}

QFont mono() {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPointSizeF(QApplication::font().pointSizeF());
    return f;
}

QFont monoSmall() {
    QFont f = mono();
    f.setPointSizeF(std::max(TextStyle::minimumPointSize, f.pointSizeF() - 1.5));
    return f;
}

QFont font(double pointDelta, QFont::Weight weight) {
    QFont f = QApplication::font();
    f.setPointSizeF(std::max(TextStyle::minimumPointSize, f.pointSizeF() + pointDelta));
    f.setWeight(weight);
    return f;
}

} // namespace vantery::app::Theme
