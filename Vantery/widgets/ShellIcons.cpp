#include "widgets/ShellIcons.hpp"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace vantery::app::ShellIcons {
namespace {

// Each body is drawn on a 24 × 24 canvas; %1 is the colour.
constexpr const char* kSun =
    R"(<circle cx="12" cy="12" r="4" fill="none" stroke="%1" stroke-width="2"/>)"
    R"(<path d="M12 2v2M12 20v2M2 12h2M20 12h2M4.9 4.9l1.4 1.4M17.7 17.7l1.4 1.4M4.9 19.1l1.4-1.4M17.7 6.3l1.4-1.4" stroke="%1" stroke-width="2" stroke-linecap="round"/>)";
constexpr const char* kCalendar =
    R"(<rect x="3" y="5" width="18" height="16" rx="2" fill="none" stroke="%1" stroke-width="2"/>)"
    R"(<path d="M3 10h18M8 3v4M16 3v4" stroke="%1" stroke-width="2" stroke-linecap="round"/>)";
constexpr const char* kList =
    R"(<path d="M4 6h2M9 6h11M8 12h2M13 12h7M8 18h2M13 18h7" stroke="%1" stroke-width="2" stroke-linecap="round"/>)";
constexpr const char* kFolder =
    R"(<path d="M3 7a2 2 0 0 1 2-2h4l2 2h8a2 2 0 0 1 2 2v8a2 2 0 0 1-2 2H5a2 2 0 0 1-2-2z" fill="none" stroke="%1" stroke-width="2" stroke-linejoin="round"/>)";
constexpr const char* kPeople =
    R"(<circle cx="9" cy="8" r="3.5" fill="none" stroke="%1" stroke-width="2"/>)"
    R"(<circle cx="17" cy="9" r="2.5" fill="none" stroke="%1" stroke-width="2"/>)"
    R"(<path d="M2.5 20c0-3.6 2.9-6 6.5-6s6.5 2.4 6.5 6M16 14.2c3 .1 5.5 2.2 5.5 5.3" fill="none" stroke="%1" stroke-width="2" stroke-linecap="round"/>)";
constexpr const char* kShield =
    R"(<path d="M12 2.5l8 3v6c0 5-3.4 8.6-8 10-4.6-1.4-8-5-8-10v-6z" fill="none" stroke="%1" stroke-width="2" stroke-linejoin="round"/>)"
    R"(<path d="M8.5 12l2.5 2.5 4.5-5" fill="none" stroke="%1" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"/>)";
constexpr const char* kRefresh =
    R"(<path d="M20 12a8 8 0 1 1-2.34-5.66" fill="none" stroke="%1" stroke-width="2" stroke-linecap="round"/>)"
    R"(<path d="M20 3v5h-5" fill="none" stroke="%1" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"/>)";
constexpr const char* kFlame =
    R"(<path d="M12 2c1 4 5 6 5 11a5 5 0 0 1-10 0c0-2.2 1-3.6 2-4.6 0 1.8.8 3 2 3.4C10.4 8.6 11 5 12 2z" fill="%1"/>)";

QIcon render(const char* body, const QColor& colour) {
    const QString svg =
        QStringLiteral(R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24">%1</svg>)")
            .arg(QString::fromLatin1(body).arg(colour.name()));
    QSvgRenderer renderer(svg.toUtf8());
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

QIcon tab(Tab tab, const QColor& colour) {
    switch (tab) {
    case Tab::today:
        return render(kSun, colour);
    case Tab::range:
        return render(kCalendar, colour);
    case Tab::provenance:
        return render(kList, colour);
    case Tab::projects:
        return render(kFolder, colour);
    case Tab::agents:
        return render(kPeople, colour);
    case Tab::sources:
        return render(kShield, colour);
    }
    return {};
}

QIcon refresh(const QColor& colour) {
    return render(kRefresh, colour);
}
QIcon flame(const QColor& colour) {
    return render(kFlame, colour);
}

} // namespace vantery::app::ShellIcons
