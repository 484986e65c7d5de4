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
    case Symbol::sun:
        return R"(<circle cx="12" cy="12" r="4" fill="none" stroke="C" stroke-width="2"/>)"
               R"(<path d="M12 2v2M12 20v2M2 12h2M20 12h2M4.9 4.9l1.4 1.4M17.7 17.7l1.4 1.4M4.9 19.1l1.4-1.4M17.7 6.3l1.4-1.4" stroke="C" stroke-width="2" stroke-linecap="round"/>)";
    case Symbol::calendar:
        return R"(<rect x="3" y="5" width="18" height="16" rx="2" fill="none" stroke="C" stroke-width="2"/>)"
               R"(<path d="M3 10h18M8 3v4M16 3v4" stroke="C" stroke-width="2" stroke-linecap="round"/>)";
    case Symbol::list:
        return R"(<path d="M4 6h2M9 6h11M8 12h2M13 12h7M8 18h2M13 18h7" stroke="C" stroke-width="2" stroke-linecap="round"/>)";
    case Symbol::folder:
        return R"(<path d="M3 7a2 2 0 0 1 2-2h4l2 2h8a2 2 0 0 1 2 2v8a2 2 0 0 1-2 2H5a2 2 0 0 1-2-2z" fill="none" stroke="C" stroke-width="2" stroke-linejoin="round"/>)";
    case Symbol::people:
        return R"(<circle cx="9" cy="8" r="3.5" fill="none" stroke="C" stroke-width="2"/>)"
               R"(<circle cx="17" cy="9" r="2.5" fill="none" stroke="C" stroke-width="2"/>)"
               R"(<path d="M2.5 20c0-3.6 2.9-6 6.5-6s6.5 2.4 6.5 6M16 14.2c3 .1 5.5 2.2 5.5 5.3" fill="none" stroke="C" stroke-width="2" stroke-linecap="round"/>)";
    case Symbol::shield:
        return R"(<path d="M12 2.5l8 3v6c0 5-3.4 8.6-8 10-4.6-1.4-8-5-8-10v-6z" fill="none" stroke="C" stroke-width="2" stroke-linejoin="round"/>)"
               R"(<path d="M8.5 12l2.5 2.5 4.5-5" fill="none" stroke="C" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"/>)";
    }
    return "";
}

QStyle::StandardPixmap standardFallback(Symbol symbol) {
    return symbol == Symbol::arrowClockwise ? QStyle::SP_BrowserReload
                                            : QStyle::SP_TitleBarMenuButton;
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
