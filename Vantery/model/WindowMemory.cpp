#include "model/WindowMemory.hpp"

#include <QSettings>

#include <algorithm>

namespace vantery::app {
namespace {

const QString kSize = QStringLiteral("mainWindow/size");
const QString kPosition = QStringLiteral("mainWindow/position");
const QString kTab = QStringLiteral("mainWindow/tab");

// The strip along the top of a window that must stay on a screen to be grabbed.
constexpr int kStripHeight = 24;
constexpr int kStripMinWidth = 100;

bool reachable(const QRect& strip, const QRect& screen) {
    const QRect on = strip.intersected(screen);
    return on.height() == strip.height() && on.width() >= std::min(kStripMinWidth, strip.width());
}

} // namespace

std::optional<SavedWindow> WindowMemory::load() const {
    const QSize size = settings_.value(kSize).toSize();
    if (!size.isValid() || size.isEmpty()) return std::nullopt;
    return SavedWindow{.size = size,
                       .position = settings_.value(kPosition).toPoint(),
                       .tab = settings_.value(kTab).toString()};
}

void WindowMemory::save(const SavedWindow& window) {
    settings_.setValue(kSize, window.size);
    settings_.setValue(kPosition, window.position);
    settings_.setValue(kTab, window.tab);
    settings_.sync();
}

WindowPlacement placeOnScreens(const SavedWindow& saved, const QList<QRect>& screens) {
    WindowPlacement placement{.size = saved.size, .position = std::nullopt};
    const QRect strip(saved.position, QSize(saved.size.width(), kStripHeight));
    const QRect* target = screens.isEmpty() ? nullptr : &screens.front();
    for (const QRect& screen : screens) {
        if (reachable(strip, screen)) {
            placement.position = saved.position;
            target = &screen;
            break;
        }
    }
    if (target) placement.size = saved.size.boundedTo(target->size());
    return placement;
}

} // namespace vantery::app
