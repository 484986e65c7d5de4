#pragma once
// The app's text styles (large title down to caption 2), scaled from the application
// font so that every view keeps the same proportions on every platform font, and never
// smaller than 8 points.
#include <QColor>
#include <QFont>
#include <QWidget>

namespace vantery::app::TextStyle {

/// No style is smaller than this, whatever the application font.
inline constexpr double minimumPointSize = 8.0;

QFont largeTitle(); ///< 2 × body
QFont title2();     ///< 17/13 × body
QFont title3();     ///< 15/13 × body
QFont headline();   ///< body size, semibold
QFont body();       ///< the application font
QFont callout();    ///< 12/13 × body
QFont caption();    ///< 10/13 × body
QFont caption2();   ///< 10/13 × body, as caption; medium weight where the caller asks for it

/// `font` with the given weight (semibold headers and tile titles).
QFont weighted(QFont font, QFont::Weight weight);
/// `font` in italics (every "unknown").
QFont italic(QFont font);

/// Sets the colour a widget's text is drawn in.
void setTextColor(QWidget* widget, const QColor& color);

} // namespace vantery::app::TextStyle
