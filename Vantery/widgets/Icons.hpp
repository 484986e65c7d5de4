#pragma once
// The app's few symbols, drawn from small SVGs of our own in any colour, so they
// look the same on every platform and theme.
#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace vantery::app::Icons {

enum class Symbol {
    flame,          ///< the menu-bar label while figures load, and the status bar's mark
    arrowClockwise, ///< refresh, and the "updated" line
    // The main window's sidebar, one per tab.
    sun,      ///< Today
    calendar, ///< Date range
    list,     ///< Provenance
    folder,   ///< Projects
    people,   ///< Agents
    shield,   ///< Sources & honesty
};

/// The symbol as a square pixmap of `size` device-independent pixels in `colour`,
/// sharp at the given device pixel ratio. Falls back to Qt's standard icon where one fits.
QPixmap pixmap(Symbol symbol, int size, const QColor& colour, qreal devicePixelRatio = 1.0);
/// The symbol as an icon in `colour`, for buttons and menus.
QIcon icon(Symbol symbol, const QColor& colour);

} // namespace vantery::app::Icons
