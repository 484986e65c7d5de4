#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QToolButton>

#include <gtest/gtest.h>

#include "TempDir.hpp"
#include "support/TodayFixture.hpp"
#include "widgets/HourlySparkline.hpp"
#include "widgets/MenuBarView.hpp"
#include "widgets/TrayIcon.hpp"

using namespace vantery;
using namespace vantery::app;

namespace {

PanelModel model(const TodayFixture& f, const Report& today, const Report& history) {
    const std::vector<UsageStore::HomeInfo> homes(1);
    const PanelInputs in{UsageStore::LoadState::ready(),
                         today,
                         history,
                         f.yesterdayAtSameTime(),
                         f.now - 60,
                         {},
                         homes};
    return buildPanel(in, f.now, f.cal);
}

// VANTERY_GRAB_DIR=/tmp/x keeps a picture of the panel for a look by eye.
void keepPicture(QWidget& w, const char* name) {
    const QByteArray dir = qgetenv("VANTERY_GRAB_DIR");
    if (!dir.isEmpty()) w.grab().save(QString::fromUtf8(dir) + "/" + name);
}

bool showsLabel(const QWidget& w, const QString& prefix) {
    for (QLabel* l : w.findChildren<QLabel*>())
        if (l->isVisibleTo(&w) && l->text().startsWith(prefix)) return true;
    return false;
}

// A store over an empty temporary home, started: it scans, then publishes.
struct StartedStore {
    vantery::testing::TempHome home;
    UsageStore store{options()};
    UsageStore::Options options() const {
        UsageStore::Options o;
        o.home = home.path();
        o.cachePath = home / "scan-cache.bin";
        o.calendar = fixtures::zone("Europe/Paris");
        o.timerIntervalMs = 3'600'000;
        return o;
    }
    bool published() {
        QSignalSpy spy(&store, &UsageStore::refreshPublished);
        return spy.wait(10'000);
    }
};

} // namespace

TEST(MenuBarView, FollowsTheStoreAndPassesItsButtonsOn) {
    StartedStore s;
    int opened = 0, quits = 0;
    MenuBarView view(s.store, {[&] { ++opened; }, [&] { ++quits; }});
    view.show();
    EXPECT_TRUE(showsLabel(view, "reading the cache"));
    // Nothing read yet: neither a zero cost nor the empty day.
    EXPECT_FALSE(showsLabel(view, "$"));
    EXPECT_FALSE(showsLabel(view, "No requests today."));
    ASSERT_TRUE(s.published());
    QCoreApplication::processEvents(); // the rebuild after the last published value
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(showsLabel(view, "reading the cache"));
    EXPECT_TRUE(showsLabel(view, "updated "));
    EXPECT_TRUE(showsLabel(view, "No requests today."));
    emit view.openWindowRequested();
    emit view.quitRequested();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(quits, 1);
}

TEST(TrayIcon, WithoutASystemTrayOpensTheWindowAndOffersThePanel) {
    if (QSystemTrayIcon::isSystemTrayAvailable()) GTEST_SKIP() << "a system tray is present";
    StartedStore s;
    int opened = 0;
    QMenu view;
    TrayIcon tray(s.store, {[&] { ++opened; }, [&] { return &view; }, {}});
    QCoreApplication::processEvents();
    EXPECT_EQ(opened, 1);
    ASSERT_EQ(view.actions().size(), 1);
    EXPECT_EQ(view.actions()[0]->text(), "Show Panel");
    view.actions()[0]->trigger();
    QWidget* panel = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<MenuBarPanel*>(w) && w->isVisible()) panel = w;
    ASSERT_TRUE(panel);
    EXPECT_TRUE(panel->windowFlags().testFlag(Qt::Popup));
    EXPECT_FALSE(TrayIcon::mainWindowVisible()); // a popup never counts as the main window
    panel->hide();
}

TEST(TrayIcon, AmountKeepsOnlyWhatASquareCanShow) {
    const auto text = [](const char* label, bool lowerBound) {
        return trayIconText({false, label, lowerBound, label});
    };
    EXPECT_EQ(text("$35", false), (TrayIconText{"$35", false}));
    EXPECT_EQ(text("$999", false), (TrayIconText{"999", false}));
    EXPECT_EQ(text("$1.2k", false), (TrayIconText{"1.2k", false}));
    EXPECT_EQ(text("\u2265$54", true), (TrayIconText{"54", true}));
    EXPECT_EQ(text("\u2265$1.2k", true), (TrayIconText{"1.2k", true}));
}

// At the tray's own sizes the digits are large and white on a dark plate: readable on a
// light and on a dark panel, not shrunk into the square.
TEST(TrayIcon, AmountIsLargeWhiteOnADarkPlateAtTraySizes) {
    for (int side : {22, 24}) {
        for (const char* label : {"$35", "\u2265$54"}) {
            const QImage img =
                menuBarLabelIcon({false, label, label[0] != '$', label}).pixmap(side).toImage();
            ASSERT_EQ(img.width(), side) << "drawn for its size, not scaled";
            int top = side, bottom = -1, white = 0;
            for (int y = 0; y < side; ++y)
                for (int x = 0; x < side; ++x)
                    if (QColor c = img.pixelColor(x, y); c.lightness() > 200 && c.alpha() == 255) {
                        ++white;
                        top = std::min(top, y);
                        bottom = std::max(bottom, y);
                    }
            EXPECT_LT(QColor(img.pixel(side / 2, 1)).lightness(), 60) << label << side;
            EXPECT_EQ(img.pixelColor(side / 2, 1).alpha(), 255) << "an opaque plate";
            EXPECT_GE(bottom - top + 1, side / 2) << label << " digits at " << side << " px";
            EXPECT_GT(white, side) << label;
        }
    }
}

TEST(MenuBarPanel, LaysOutBothFormsAsPlainText) {
    TodayFixture f;
    MenuBarPanel panel;
    const Report none, noHistory;
    panel.setModel(model(f, none, noHistory));
    panel.show();
    EXPECT_EQ(panel.width(), MenuBarPanel::panelWidth);
    auto hasText = [&](const QString& t) {
        for (QLabel* l : panel.findChildren<QLabel*>())
            if (l->isVisibleTo(&panel) && l->text() == t) return true;
        return false;
    };
    EXPECT_TRUE(hasText("No requests today."));
    EXPECT_FALSE(hasText("RATE"));
    keepPicture(panel, "panel-empty.png");

    f.add(0, 9, 0, 3);
    f.add(0, 14, 10, 1.5, AgentIdentity::named("<b>reviewer</b>", "agent-r"), "/h/<b>x");
    f.add(0, 13, 0, 0, {}, "/home/dev/work/api");
    f.add(-1, 10, 0, 4);
    const Report today = f.today(), history = f.history();
    panel.setModel(model(f, today, history));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the replaced content
    EXPECT_FALSE(hasText("No requests today."));
    EXPECT_TRUE(hasText("RATE"));
    EXPECT_TRUE(hasText("\u2265 $4.50"));
    EXPECT_EQ(panel.findChildren<HourlySparkline*>().size(), 1);
    for (QLabel* l : panel.findChildren<QLabel*>())
        EXPECT_EQ(l->textFormat(), Qt::PlainText) << l->text().toStdString();
    keepPicture(panel, "panel-day.png");
}

TEST(MenuBarPanel, ButtonsReportTheirActions) {
    TodayFixture f;
    const Report none;
    MenuBarPanel panel;
    panel.setModel(model(f, none, none));
    QSignalSpy open(&panel, &MenuBarPanel::openWindowRequested);
    QSignalSpy refresh(&panel, &MenuBarPanel::refreshRequested);
    QSignalSpy quit(&panel, &MenuBarPanel::quitRequested);
    for (QPushButton* b : panel.findChildren<QPushButton*>())
        b->click();
    for (QToolButton* b : panel.findChildren<QToolButton*>())
        b->click();
    EXPECT_EQ(open.count(), 1);
    EXPECT_EQ(refresh.count(), 1);
    EXPECT_EQ(quit.count(), 1);
}

TEST(HourlySparkline, ColumnsShareTheWidth) {
    HourlySparkline s;
    s.resize(24 * 10 + 23, 34);
    EXPECT_EQ(s.hourAt({0, 20}), 0);
    EXPECT_EQ(s.hourAt({10, 20}), 0); // the gap belongs to the column on its left
    EXPECT_EQ(s.hourAt({11, 20}), 1);
    EXPECT_EQ(s.hourAt({262, 20}), 23);
    EXPECT_EQ(s.hourAt({300, 20}), -1);
}

TEST(TrayIcon, PanelStaysOnScreenBesideTheIcon) {
    const QSize size(340, 500);
    // Tray at the top: below the icon, right edges aligned.
    EXPECT_EQ(panelPosition({1800, 0, 22, 22}, size, {0, 24, 1920, 1056}), QPoint(1482, 26));
    // Tray at the bottom: above the icon.
    EXPECT_EQ(panelPosition({1800, 1058, 22, 22}, size, {0, 0, 1920, 1056}), QPoint(1482, 554));
    // An icon near the left edge does not push the panel off screen.
    EXPECT_EQ(panelPosition({10, 0, 22, 22}, size, {0, 24, 1920, 1056}).x(), 0);
    // A screen lower than the panel: pinned to its top.
    EXPECT_EQ(panelPosition({1800, 0, 22, 22}, size, {0, 24, 1920, 400}).y(), 24);
    // No icon geometry: the top right corner.
    EXPECT_EQ(panelPosition({}, size, {0, 24, 1920, 1056}), QPoint(1576, 28));
}

TEST(TrayIcon, LabelIconDrawsEveryForm) {
    MenuBarLabelModel flame;
    MenuBarLabelModel amount{false, "\u2265$1.2k", true, "\u2265$1.2k"};
    for (const auto& label : {flame, amount}) {
        const QImage img = menuBarLabelIcon(label).pixmap(64, 64).toImage();
        ASSERT_FALSE(img.isNull());
        if (const QByteArray dir = qgetenv("VANTERY_GRAB_DIR"); !dir.isEmpty())
            img.save(QString::fromUtf8(dir) +
                     (label.flame ? "/label-flame.png" : "/label-amount.png"));
        int opaque = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                opaque += qAlpha(img.pixel(x, y)) > 128;
        EXPECT_GT(opaque, 200) << label.text; // something was drawn, not an empty square
    }
}
