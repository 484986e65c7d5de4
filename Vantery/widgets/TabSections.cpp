#include "widgets/TabSections.hpp"

#include <QHBoxLayout>
#include <QScrollArea>

#include "widgets/TableViews.hpp"
#include "widgets/TextStyle.hpp"
#include "widgets/Theme.hpp"

namespace vantery::app::TabSections {

QVBoxLayout* scrollingColumn(QWidget* tab, int spacing) {
    auto* outer = new QVBoxLayout(tab);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(tab);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    outer->addWidget(scroll);
    auto* page = new QWidget(scroll);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(spacing);
    column->setAlignment(Qt::AlignTop);
    scroll->setWidget(page);
    return column;
}

QLabel* plainText(const std::string& text, const QFont& font, const QColor& color, bool wrap,
                  QWidget* parent) {
    auto* label = new QLabel(parent);
    applyFigure(label, {text, Tone::primary, false, {}}, font, color);
    label->setWordWrap(wrap);
    return label;
}

QWidget* tilesRow(const std::vector<TileText>& tiles, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* l = new QHBoxLayout(row);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(20);
    for (const TileText& t : tiles)
        l->addWidget(new StatTile(t.title, t.figure, t.note, row), 1, Qt::AlignVCenter);
    return row;
}

QLabel* unknownLine(QWidget* parent) {
    auto* label = plainText("unknown", TextStyle::italic(TextStyle::callout()), Theme::unknown(),
                            false, parent);
    label->setContentsMargins(0, 4, 0, 4);
    return label;
}

void clear(QLayout* layout) {
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* w = item->widget()) delete w;
        if (QLayout* child = item->layout()) clear(child);
        delete item;
    }
}

} // namespace vantery::app::TabSections
