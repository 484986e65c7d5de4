// Legible, aligned type and a visible picker selection: no text below 8 pt under a
// 9-point application font, tile titles on one line whatever their notes, and the
// checked segment clearly apart from the others under a dark palette.
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "widgets/MainWindow.hpp"
#include "widgets/SegmentButton.hpp"
#include "widgets/TabLayout.hpp"
#include "widgets/VanteryApp.hpp"

namespace vantery::app {
namespace {

// Runs with the application font at `points`, restoring the previous one.
struct AppFont {
    explicit AppFont(double points) : saved(QApplication::font()) {
        QFont f = saved;
        f.setPointSizeF(points);
        QApplication::setFont(f);
    }
    ~AppFont() { QApplication::setFont(saved); }
    QFont saved;
};

TEST(Type, NoLabelOfAnyTabIsBelowEightPoints) {
    AppFont nine(9);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    UsageStore::Options options;
    options.home = dir.path().toStdString();
    options.cachePath = options.home + "/cache.bin";
    options.start = false;
    VanteryApp app(std::move(options));
    app.openMainWindow();
    for (const TabInfo& t : tabTable()) {
        const Tab tab = t.tab;
        app.mainWindow()->selectTab(tab);
        for (const QLabel* label : app.mainWindow()->findChildren<QLabel*>())
            EXPECT_GE(label->font().pointSizeF(), 8.0)
                << tabLabel(tab) << ": " << label->text().toStdString();
    }
    delete app.mainWindow();
}

TEST(Type, TileTitlesOfARowSitOnOneLine) {
    AppFont nine(9);
    const std::vector<TileText> tiles{
        countTile("Requests", 12),
        countTile("Yesterday", 9, "at this time: 4 requests over two lines of note text"),
        countTile("Median", 3)};
    QWidget* row = tilesRow(tiles);
    row->resize(600, row->sizeHint().height());
    row->show();
    QCoreApplication::processEvents();
    std::vector<int> tops;
    for (const auto& t : tiles)
        for (const QLabel* label : row->findChildren<QLabel*>())
            if (label->text() == QString::fromStdString(FigureTexts::tileTitle(t.title)))
                tops.push_back(label->mapTo(row, QPoint()).y());
    ASSERT_EQ(tops.size(), tiles.size());
    EXPECT_EQ(tops[0], tops[1]);
    EXPECT_EQ(tops[1], tops[2]);
    delete row;
}

TEST(Segments, TheCheckedOneStandsOutUnderADarkPalette) {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(54, 54, 54));
    dark.setColor(QPalette::Button, QColor(54, 54, 54));
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Highlight, QColor(21, 83, 158));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    SegmentButton on(QStringLiteral("7 days")), off(QStringLiteral("30 days"));
    for (SegmentButton* b : {&on, &off}) {
        b->setPalette(dark);
        b->resize(80, 26);
    }
    on.setChecked(true);
    const auto fill = [](SegmentButton& b) {
        return b.grab().toImage().pixelColor(6, b.height() / 2); // left of the text
    };
    const QColor a = fill(on), b = fill(off);
    const int distance = std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                         std::abs(a.blue() - b.blue());
    EXPECT_GT(distance, 90) << a.name().toStdString() << " vs " << b.name().toStdString();
}

} // namespace
} // namespace vantery::app
