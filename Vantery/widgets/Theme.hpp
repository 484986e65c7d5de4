#pragma once
// The app's colours and its two monospaced fonts, shared by every view so that a
// token component or an incomplete figure looks the same everywhere.
#include <QColor>
#include <QFont>

namespace vantery::app::Theme {

QColor accent();    ///< lower bounds and their caveat marker, the current hour, sub-agent dots
QColor cacheRead(); ///< also the main session's dot
QColor cacheWrite();
QColor output();
QColor input();
QColor unknown(); ///< every "unknown" text and the empty composition bar
/// The secondary text colour (captions, notes).
QColor secondary();
QFont mono();      ///< figures in rows: the cost column
QFont monoSmall(); ///< counts and token columns, compact lists
/// The body font at the given size delta in points and weight (titles, headings).
QFont font(double pointDelta = 0, QFont::Weight weight = QFont::Normal);

} // namespace vantery::app::Theme
