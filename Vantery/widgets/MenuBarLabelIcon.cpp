#include <QPainter>
#include <QPainterPath>

#include "widgets/Icons.hpp"
#include "widgets/MenuBarView.hpp"

namespace vantery::app {

namespace {
constexpr int side = 64;
} // namespace

QIcon menuBarLabelIcon(const MenuBarLabelModel& label) {
    QPixmap pm(side, side);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor fill(250, 250, 250);
    const QColor outline(30, 30, 30, 220);
    if (label.flame) {
        p.drawPixmap(0, 0, Icons::pixmap(Icons::Symbol::flame, side, outline));
        p.drawPixmap(4, 4, Icons::pixmap(Icons::Symbol::flame, side - 8, fill));
        p.end();
        return QIcon(pm);
    }
    // The largest bold font whose text fits the square.
    const QString text = QString::fromStdString(label.text);
    QFont font;
    font.setBold(true);
    font.setStretch(QFont::SemiCondensed);
    const QRectF box(2, 2, side - 4, side - 4);
    QPainterPath path;
    for (int px = side; px >= 8; px -= 2) {
        font.setPixelSize(px);
        QPainterPath candidate;
        candidate.addText(0, 0, font, text);
        const QRectF b = candidate.boundingRect();
        if (b.width() <= box.width() && b.height() <= box.height()) {
            path = candidate.translated(box.center() - b.center());
            break;
        }
    }
    p.strokePath(path, QPen(outline, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.fillPath(path, fill);
    p.end();
    return QIcon(pm);
}

} // namespace vantery::app
