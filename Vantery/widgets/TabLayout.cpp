#include "widgets/TabLayout.hpp"

#include <QHBoxLayout>
#include <QScrollBar>

#include "widgets/FigureViews.hpp"
#include "widgets/TextStyle.hpp"
#include "widgets/Theme.hpp"

namespace vantery::app {

TabScrollArea::TabScrollArea(QWidget* parent) : QScrollArea(parent) {
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // cards follow the width
}

TabScrollArea* TabScrollArea::filling(QWidget* tab) {
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new TabScrollArea(tab);
    layout->addWidget(scroll);
    return scroll;
}

QVBoxLayout* TabScrollArea::newPage(int spacing) {
    auto* page = new QWidget;
    auto* stack = new QVBoxLayout(page);
    stack->setContentsMargins(16, 16, 16, 16);
    stack->setSpacing(spacing);
    return stack;
}

void TabScrollArea::setPage(QVBoxLayout* page) {
    const int y = verticalScrollBar()->value();
    page->addStretch(1);
    setWidget(page->parentWidget()); // deletes the previous page
    verticalScrollBar()->setValue(y);
}

QLabel* plainText(const std::string& text, const QFont& font, const QColor& color, QWidget* parent,
                  bool wrap) {
    auto* label = new QLabel(parent);
    applyFigure(label, {text, Tone::primary, false, {}}, font, color);
    label->setWordWrap(wrap);
    return label;
}

StatTile* statTile(const TileText& tile, QWidget* parent) {
    return new StatTile(tile.title, tile.figure, tile.note, parent);
}

QWidget* tilesRow(const std::vector<TileText>& tiles, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* l = new QHBoxLayout(row);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(20);
    // No alignment flag: every tile fills the row's height and tops its content, so the
    // titles of tiles with and without a note sit on one line.
    for (const TileText& t : tiles)
        l->addWidget(statTile(t, row), 1);
    return row;
}

SectionCard* sectionCard(const CardTitle& title, QWidget* parent, int spacing) {
    auto* card = new SectionCard(title.title, title.subtitle, parent);
    card->content()->setSpacing(spacing);
    return card;
}

QWidget* headlineCost(const std::string& caption, const CostEstimate& cost,
                      const std::optional<std::string>& caveat, QWidget* parent) {
    auto* block = new QWidget(parent);
    auto* stack = new QVBoxLayout(block);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(3);
    QFont captionFont = TextStyle::weighted(TextStyle::caption2(), QFont::DemiBold);
    captionFont.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
    stack->addWidget(plainText(caption, captionFont, Theme::secondary(), block));
    stack->addWidget(new CostText(cost, TextStyle::largeTitle(),
                                  block->palette().color(QPalette::WindowText), block));
    if (caveat)
        stack->addWidget(plainText(*caveat, TextStyle::caption2(), Theme::accent(), block, true));
    return block;
}

void addHeadlineRows(SectionCard* card, const std::string& caption, const CostEstimate& cost,
                     const std::optional<std::string>& caveat,
                     const std::vector<TileText>& firstRow, const std::vector<TileText>& secondRow,
                     Qt::Alignment dividerAlignment) {
    auto* first = new QHBoxLayout;
    first->setSpacing(20);
    first->addWidget(headlineCost(caption, cost, caveat, card), 0, Qt::AlignTop);
    first->addWidget(Divider::vertical(46, card), 0, dividerAlignment);
    // No alignment flag: a wrapped note then gets its height; a tile tops its content.
    for (const auto& tile : firstRow)
        first->addWidget(statTile(tile, card), 1);
    card->content()->addLayout(first);
    card->addWidget(new Divider(1.0, card));
    auto* second = new QHBoxLayout;
    second->setSpacing(20);
    for (const auto& tile : secondRow)
        second->addWidget(statTile(tile, card), 1);
    card->content()->addLayout(second);
}

QLabel* unknownLine(QWidget* parent) {
    auto* label =
        plainText("unknown", TextStyle::italic(TextStyle::callout()), Theme::unknown(), parent);
    label->setContentsMargins(0, 4, 0, 4);
    return label;
}

void clearLayout(QLayout* layout) {
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* w = item->widget()) delete w;
        if (QLayout* child = item->layout()) clearLayout(child);
        delete item;
    }
}

} // namespace vantery::app
