// Offscreen smoke tests of the figure and table views. Set VANTERY_GRAB_DIR to a folder
// to also write a picture of a sample card there, for a look by eye.
#include <QApplication>
#include <QImage>

#include <gtest/gtest.h>

#include "model/BucketTableModel.hpp"
#include "widgets/BucketListView.hpp"
#include "widgets/FigureViews.hpp"
#include "widgets/TableViews.hpp"
#include "widgets/Theme.hpp"

using namespace vantery;
using namespace vantery::app;

namespace {

Bucket sample(std::int64_t requests, std::int64_t cacheRead, std::int64_t output,
              std::int64_t input, double cost) {
    Bucket b;
    b.requests = requests;
    b.cacheRead = cacheRead;
    b.cacheWrite5m = cacheRead / 10;
    b.output = output;
    b.input = input;
    b.cost.priced = cost;
    return b;
}

CostEstimate lowerBound() {
    CostEstimate c;
    c.priced = 3.2;
    c.unpricedRequests = 1;
    c.unpricedModels = {"mystery-1"};
    return c;
}

/// The width a plain-text rendering of `text` takes in `label`'s font.
int plainWidth(const QLabel* label, const QString& text) {
    return QFontMetrics(label->font()).horizontalAdvance(text);
}

} // namespace

TEST(TableViews, DataLabelsShowMarkupLiterally) {
    const std::string markup = "<b>x</b> &amp; <i>y</i>";
    const QString literal = QString::fromStdString(markup);
    BucketRow row(markup, Bucket{}, 0, markup);
    SectionCard card(markup, markup);
    StatTile tile(
        markup, Estimate<std::int64_t>::known(1),
        [](std::int64_t) { return std::string("<b>1</b>"); }, markup);

    for (QLabel* label : {static_cast<QLabel*>(row.label()), row.accessory(), card.title(),
                          card.subtitle(), tile.note(), static_cast<QLabel*>(tile.figure())}) {
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
    }
    EXPECT_EQ(row.label()->text(), literal);
    EXPECT_EQ(tile.figure()->text(), "<b>1</b>");
    // Rendered as markup, the figure would be as narrow as a bold "1"; literally, it is as
    // wide as every character of the tags.
    EXPECT_NEAR(tile.figure()->sizeHint().width(), plainWidth(tile.figure(), "<b>1</b>"), 2);
    row.resize(2000, row.sizeHint().height());
    row.show();
    EXPECT_EQ(row.label()->shownText(), literal);
}

TEST(TableViews, LongLabelLosesItsMiddle) {
    const std::string path = "~/code/" + std::string(200, 'm') + "/the-end";
    BucketRow row(path, Bucket{});
    row.resize(600, row.sizeHint().height());
    row.show();
    const QString shown = row.label()->shownText();
    EXPECT_TRUE(shown.startsWith("~/code/"));
    EXPECT_TRUE(shown.endsWith("/the-end"));
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_EQ(row.label()->text().toStdString(), path);
}

TEST(TableViews, IndentShiftsTheLabelBySpacerAndSpacing) {
    QWidget host;
    auto* layout = new QVBoxLayout(&host);
    auto* top = new BucketRow("top", Bucket{}, 0);
    auto* nested = new BucketRow("nested", Bucket{}, 18);
    layout->addWidget(top);
    layout->addWidget(nested);
    host.resize(700, 100);
    host.show();
    EXPECT_EQ(nested->label()->x() - top->label()->x(), 24);
}

TEST(FigureViews, UnknownFiguresAndLowerBoundsLookTheirPart) {
    StatTile tile(
        "rate", Estimate<double>::unknown(UnknownReason::noRecentActivity()),
        [](double) { return std::string("$0.00"); }, std::string("per hour"));
    EXPECT_EQ(tile.title()->text(), "RATE");
    EXPECT_EQ(tile.figure()->text(), "unknown");
    EXPECT_TRUE(tile.figure()->font().italic());
    EXPECT_EQ(tile.figure()->toolTip().toStdString(), UnknownReason::noRecentActivity().text());
    EXPECT_EQ(tile.figure()->palette().color(QPalette::WindowText), Theme::unknown());
    EXPECT_EQ(tile.note()->text(), "per hour");

    const QColor caller(10, 20, 30);
    CostText complete(CostEstimate{}, Theme::mono(), caller);
    EXPECT_EQ(complete.amount()->text(), "$0.00");
    EXPECT_FALSE(complete.marker()->isVisibleTo(&complete));
    EXPECT_EQ(complete.amount()->palette().color(QPalette::WindowText), caller);

    CostText partial(lowerBound(), Theme::mono(), caller);
    EXPECT_EQ(partial.amount()->text(), "\u2265 $3.20");
    EXPECT_TRUE(partial.marker()->isVisibleTo(&partial));
    EXPECT_EQ(partial.marker()->toolTip().toStdString(), *lowerBound().caveat());
    EXPECT_EQ(partial.amount()->palette().color(QPalette::WindowText), Theme::accent());
}

TEST(FigureViews, CompositionBarPaintsPartsOrTheFadedEmptyBar) {
    const auto centre = [](const Bucket& b) {
        CompositionBar bar(b, 12, true);
        bar.resize(120, bar.sizeHint().height());
        return bar.grab().toImage().pixelColor(60, 6);
    };
    Bucket cacheOnly;
    cacheOnly.cacheRead = 100;
    EXPECT_EQ(centre(cacheOnly).rgb(), Theme::cacheRead().rgb());
    EXPECT_NE(centre(Bucket{}).rgb(), Theme::cacheRead().rgb());

    CompositionBar empty(Bucket{}, 8, true);
    EXPECT_EQ(empty.legend()->text(), "unknown");
    EXPECT_EQ(empty.legend()->toolTip().toStdString(), UnknownReason::noData().text());
    EXPECT_EQ(CompositionBar(cacheOnly, 5, false).legend(), nullptr);
}

TEST(BucketListView, LaysOutEveryRowAndPaintsOnlyWhatIsAsked) {
    BucketTableModel model("project");
    std::vector<BucketTableRow> rows;
    for (int i = 0; i < 5000; ++i)
        rows.push_back({"~/p/" + std::to_string(i), sample(i, i * 10, i, i, i * 0.01),
                        i % 2 ? std::optional<std::string>("note") : std::nullopt});
    model.setRows(std::move(rows));
    BucketListView view(&model);
    view.resize(700, view.sizeHint().height());

    EXPECT_GT(view.rowHeight(1), view.rowHeight(0)); // the caption takes a second line
    EXPECT_EQ(view.height(), view.rowTop(4999) + view.rowHeight(4999) + 1);
    EXPECT_EQ(view.rowAt(view.rowTop(2500)), 2500);
    EXPECT_EQ(view.rowAt(view.rowTop(2500) + view.rowHeight(2500)), 2500); // its divider
    EXPECT_EQ(view.rowAt(view.height()), -1);

    model.setRows({{"<b>x</b>", Bucket{}, std::nullopt}});
    EXPECT_EQ(view.height(), view.rowHeight(0) + 1);
}

TEST(TableViews, SampleCardPicture) {
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(12);

    auto* card = new SectionCard("Projects (3)", std::string("ranked by cost, largest first"));
    auto* tiles = new QHBoxLayout;
    tiles->setSpacing(20);
    tiles->addWidget(new StatTile("requests", Estimate<std::int64_t>::known(12345),
                                  [](std::int64_t) { return std::string("12,345"); }));
    tiles->addWidget(new StatTile("current rate",
                                  Estimate<double>::unknown(UnknownReason::noRecentActivity()),
                                  CostEstimate::money, std::string("per hour")));
    card->content()->addLayout(tiles);
    card->addWidget(new CompositionBar(sample(1, 900'000, 40'000, 10'000, 0), 8, true));
    card->content()->addSpacing(10);
    auto* header = new TableHeader("project");
    card->addWidget(header);
    card->addWidget(new Divider);
    addTableRow(card->content(),
                new BucketRow("~/code/vantery", sample(1234, 3'400'000, 120'000, 9'000, 42.5)));
    Bucket partial = sample(12, 40'000, 3'000, 800, 3.2);
    partial.cost = lowerBound();
    addTableRow(card->content(), new BucketRow("<b>x</b> " + std::string(90, 'p') + "/end", partial,
                                               0, std::string("some requests have no cwd")));
    addTableRow(card->content(), new BucketRow("(unknown cwd)", Bucket{}));
    column->addWidget(card);

    // The same rows through the painted list, which must look the same.
    auto* painted = new SectionCard("Raw breakdown (3 rows)");
    auto* model = new BucketTableModel("project", painted);
    model->setRows(
        {{"~/code/vantery", sample(1234, 3'400'000, 120'000, 9'000, 42.5), std::nullopt},
         {"<b>x</b> " + std::string(90, 'p') + "/end", partial, "some requests have no cwd"},
         {"(unknown cwd)", Bucket{}, std::nullopt}});
    painted->addWidget(new TableHeader("project"));
    painted->addWidget(new Divider);
    painted->addWidget(new BucketListView(model));
    column->addWidget(painted);
    column->addWidget(new DisclaimerLine);
    window.resize(760, window.sizeHint().height());

    const QImage image = window.grab().toImage();
    ASSERT_FALSE(image.isNull());

    // Every row's bar starts under the header's "composition" title: one set of columns.
    QLabel* title = nullptr;
    for (auto* l : header->findChildren<QLabel*>())
        if (l->text() == "composition") title = l;
    ASSERT_NE(title, nullptr);
    const int barColumn = title->mapTo(&window, QPoint(0, 0)).x();
    int rows = 0;
    for (auto* row : card->findChildren<BucketRow*>()) {
        EXPECT_EQ(row->findChild<CompositionBar*>()->mapTo(&window, QPoint(0, 0)).x(), barColumn);
        ++rows;
    }
    EXPECT_EQ(rows, 3);
    if (const QByteArray dir = qgetenv("VANTERY_GRAB_DIR"); !dir.isEmpty()) {
        EXPECT_TRUE(image.save(QString::fromLocal8Bit(dir) + "/vantery-table-views.png"));
    }
}
