// Kept apart from the tray so that the placement can be tested without a store.
#include <algorithm>

#include "widgets/TrayIcon.hpp"

namespace vantery::app {

namespace {
constexpr int gap = 4; // between the icon and the popup
} // namespace

QPoint panelPosition(const QRect& icon, const QSize& size, const QRect& available) {
    QPoint at;
    if (icon.isEmpty()) {
        at = {available.right() + 1 - size.width() - gap, available.top() + gap};
    } else {
        at.setX(icon.right() + 1 - size.width());
        const bool trayAtTop = icon.center().y() < available.center().y();
        at.setY(trayAtTop ? icon.bottom() + 1 + gap : icon.top() - gap - size.height());
    }
    at.setX(std::clamp(at.x(), available.left(),
                       std::max(available.left(), available.right() + 1 - size.width())));
    at.setY(std::clamp(at.y(), available.top(),
                       std::max(available.top(), available.bottom() + 1 - size.height())));
    return at;
}

} // namespace vantery::app
