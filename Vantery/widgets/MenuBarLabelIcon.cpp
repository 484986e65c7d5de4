#include <QPainter>
#include <QPainterPath>

#include "widgets/Icons.hpp"
#include "widgets/MenuBarView.hpp"
#include "widgets/Theme.hpp"

namespace vantery::app {

namespace {

// The sizes tray hosts ask for; each is drawn for its own pixels, never scaled down
// from a larger one (a scaled 64-pixel label blurs into a smudge at 22).
constexpr int sizes[] = {16, 22, 24, 32, 48, 64};

const QColor plateFill(28, 28, 30);
const QColor plateEdge(255, 255, 255, 110); // shows the plate's edge on a dark tray
const QColor ink(255, 255, 255);

QPainterPath textPath(const QString& text, const QFont& font) {
    QPainterPath path;
    path.addText(0, 0, font, text);
    return path;
}

QPixmap flame(int side) {
    QPixmap pm(side, side);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    const int inset = std::max(1, side / 16);
    p.drawPixmap(0, 0, Icons::pixmap(Icons::Symbol::flame, side, QColor(30, 30, 30, 220)));
    p.drawPixmap(inset, inset,
                 Icons::pixmap(Icons::Symbol::flame, side - 2 * inset, QColor(250, 250, 250)));
    return pm;
}

// A rounded dark plate with the amount in white, as large as the square allows: the
// digits stand about 60 % of the side; a longer text is narrowed, never lowered. The
// lower-bound mark goes before it in the accent colour.
QPixmap amount(const TrayIconText& text, int side) {
    QPixmap pm(side, side);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF plate = QRectF(0, 0, side, side).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(plateEdge, 1));
    p.setBrush(plateFill);
    p.drawRoundedRect(plate, side * 0.2, side * 0.2);

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStretch(QFont::Condensed);
    font.setBold(true);
    font.setPixelSize(100); // drawn as outlines, scaled below
    const QPainterPath digits = textPath(text.amount, font);
    QPainterPath mark;
    if (text.lowerBound) mark = textPath(QStringLiteral("\u2265"), font);
    // Heights from the digits alone: the mark never makes the amount smaller.
    const QRectF db = digits.boundingRect();
    const double gap = text.lowerBound ? db.height() * 0.08 : 0;
    const QRectF mb = mark.boundingRect();
    const double width = db.width() + (text.lowerBound ? mb.width() + gap : 0);
    const double pad = std::max(1.5, side * 0.09);
    const double sy = side * 0.6 / db.height();
    const double sx = std::min(sy, (side - 2 * pad) / width);

    QTransform t;
    t.translate(side / 2.0, side / 2.0);
    t.scale(sx, sy);
    t.translate(-width / 2.0, -db.center().y());
    p.setPen(Qt::NoPen);
    if (text.lowerBound) {
        p.setBrush(Theme::accent());
        p.drawPath(t.map(mark.translated(-mb.left(), 0)));
    }
    const double digitsLeft = text.lowerBound ? mb.width() + gap : 0;
    p.setBrush(ink);
    p.drawPath(t.map(digits.translated(digitsLeft - db.left(), 0)));
    return pm;
}

} // namespace

TrayIconText trayIconText(const MenuBarLabelModel& label) {
    QString rest = QString::fromStdString(label.text);
    rest.remove(QChar(0x2265));
    rest.remove(QLatin1Char('$'));
    // Room for the dollar sign only beside one or two digits: "$35", but "999", "1.2k".
    if (!label.lowerBound && rest.size() <= 2) rest.prepend(QLatin1Char('$'));
    return {rest, label.lowerBound};
}

QIcon menuBarLabelIcon(const MenuBarLabelModel& label) {
    QIcon icon;
    for (int side : sizes)
        icon.addPixmap(label.flame ? flame(side) : amount(trayIconText(label), side));
    return icon;
}

} // namespace vantery::app
