#include "widgets/TextStyle.hpp"

#include <algorithm>

#include <QApplication>
#include <QPalette>

namespace vantery::app::TextStyle {

namespace {
// Sizes relative to a 13-point body, the proportions of the platform's text styles,
// never below the smallest legible size (a 9-point body would give 7-point captions).
QFont scaled(double points) {
    QFont f = QApplication::font();
    f.setPointSizeF(std::max(minimumPointSize, f.pointSizeF() * points / 13.0));
    return f;
}
} // namespace

QFont largeTitle() {
    return scaled(26);
}
QFont title2() {
    return scaled(17);
}
QFont title3() {
    return scaled(15);
}
QFont headline() {
    return weighted(scaled(13), QFont::DemiBold);
}
QFont body() {
    return QApplication::font();
}
QFont callout() {
    return scaled(12);
}
QFont caption() {
    return scaled(10);
}
QFont caption2() {
    return scaled(10);
}

QFont weighted(QFont font, QFont::Weight weight) {
    font.setWeight(weight);
    return font;
}

QFont italic(QFont font) {
    font.setItalic(true);
    return font;
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, color);
    p.setColor(QPalette::Text, color);
    // A label inside a button draws in ButtonText.
    p.setColor(QPalette::ButtonText, color);
    widget->setPalette(p);
}

} // namespace vantery::app::TextStyle
