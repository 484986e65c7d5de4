#include "widgets/Icons.hpp"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QSvgRenderer>

namespace vantery::app::Icons {

namespace {

// 24 × 24 outlines; "C" stands for the colour they are drawn in.
const char* svgBody(Symbol symbol) {
    switch (symbol) {
    case Symbol::flame:
        return R"(<path fill="C" d="M12.5 1.5c.6 3.2 2.6 5 4.3 7.1 1.5 1.8 2.7 3.7 2.7 6.4 0 4.3-3.4 7.5-7.5 7.5S4.5 19.3 4.5 15c0-3.1 1.6-5.2 3.4-6.8-.1 1.9.5 3.5 1.8 4.3-.3-3.9 1.1-7.6 2.8-11z"/>)";
    case Symbol::arrowClockwise:
        return R"(<path fill="none" stroke="C" stroke-width="2.2" stroke-linecap="round" d="M19.5 12a7.5 7.5 0 1 1-2.2-5.3"/><path fill="C" d="M20.5 2.8v6.7h-6.7z"/>)";
    }
    return "";
}

QStyle::StandardPixmap standardFallback(Symbol symbol) {
    switch (symbol) {
    case Symbol::arrowClockwise:
        return QStyle::SP_BrowserReload;
    case Symbol::flame:
        break;
    }
    return QStyle::SP_TitleBarMenuButton;
}

} // namespace

QPixmap pixmap(Symbol symbol, int size, const QColor& colour, qreal devicePixelRatio) {
    QString body = QString::fromUtf8(svgBody(symbol));
    body.replace(QLatin1String("\"C\""),
                 QLatin1Char('"') + colour.name(QColor::HexRgb) + QLatin1Char('"'));
    const QString svg =
        QStringLiteral(
            R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24" opacity="%1">%2</svg>)")
            .arg(colour.alphaF())
            .arg(body);
    QSvgRenderer renderer(svg.toUtf8());
    if (!renderer.isValid())
        return QApplication::style()->standardIcon(standardFallback(symbol)).pixmap(size, size);

    const int device = qMax(1, qRound(size * devicePixelRatio));
    QPixmap pm(device, device);
    pm.fill(Qt::transparent);
    {
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        renderer.render(&p);
    }
    pm.setDevicePixelRatio(devicePixelRatio);
    return pm;
}

QIcon icon(Symbol symbol, const QColor& colour) {
    QIcon result;
    for (int size : {16, 24, 32, 48})
        result.addPixmap(pixmap(symbol, size, colour));
    return result;
}

} // namespace vantery::app::Icons
