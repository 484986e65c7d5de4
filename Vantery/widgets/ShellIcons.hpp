#pragma once
// The small line icons of the main window (sidebar, toolbar, status bar), drawn from
// SVG so that they look the same on every platform and at every scale.
#include <QColor>
#include <QIcon>

#include "widgets/TabFactory.hpp"

namespace vantery::app::ShellIcons {

QIcon tab(Tab tab, const QColor& colour);
QIcon refresh(const QColor& colour); ///< "arrow.clockwise"
QIcon flame(const QColor& colour);   ///< "flame.fill"

} // namespace vantery::app::ShellIcons
