#pragma once
// What every tab shares beyond the table views: the scroll area holding its cards,
// plain-text labels, tiles, card headings, the headline cost and the italic "unknown"
// of an empty list.
#include <optional>
#include <string>
#include <vector>

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

#include "model/TabParts.hpp"
#include "widgets/TableViews.hpp"

namespace vantery::app {

/// A vertical scroll area with its indicator always shown that never scrolls
/// horizontally; setPage() swaps the stack of cards it holds, keeping the scroll position.
class TabScrollArea : public QScrollArea {
    Q_OBJECT
  public:
    explicit TabScrollArea(QWidget* parent = nullptr);
    /// A new scroll area filling `tab` edge to edge, as the tab's only content.
    static TabScrollArea* filling(QWidget* tab);
    /// A fresh page: a leading-aligned stack padded 16 on every side, with `spacing`
    /// between its cards. Fill it, then pass it to setPage().
    static QVBoxLayout* newPage(int spacing);
    /// Shows the page whose layout newPage() returned; the previous page is deleted.
    void setPage(QVBoxLayout* page);
};

/// A label that shows `text` literally (never as markup), in `font` and `color`.
QLabel* plainText(const std::string& text, const QFont& font, const QColor& color,
                  QWidget* parent = nullptr, bool wrap = false);

/// A stat tile from its texts.
StatTile* statTile(const TileText& tile, QWidget* parent = nullptr);

/// A row, spacing 20, of one equally stretched StatTile per tile, their titles on one line.
QWidget* tilesRow(const std::vector<TileText>& tiles, QWidget* parent = nullptr);

/// A card with a title and optional subtitle; `spacing` between its content's items
/// (0 for a table, whose rows bring their own padding and dividers).
SectionCard* sectionCard(const CardTitle& title, QWidget* parent = nullptr, int spacing = 8);

/// "TOTAL"/"COST" with the large cost and, for a lower bound, its caveat below it.
QWidget* headlineCost(const std::string& caption, const CostEstimate& cost,
                      const std::optional<std::string>& caveat, QWidget* parent = nullptr);

/// The headline rows of a cost card: headlineCost(caption, …), a divider 46 high at
/// `dividerAlignment`, the tiles of `firstRow`; a divider; the tiles of `secondRow`. The
/// tiles of a row align their titles on one line.
void addHeadlineRows(SectionCard* card, const std::string& caption, const CostEstimate& cost,
                     const std::optional<std::string>& caveat,
                     const std::vector<TileText>& firstRow, const std::vector<TileText>& secondRow,
                     Qt::Alignment dividerAlignment);

/// The empty list's single word: "unknown", callout, italic, Theme::unknown.
QLabel* unknownLine(QWidget* parent = nullptr);

/// Deletes every item of `layout` with its widget (content rebuilt from the store).
void clearLayout(QLayout* layout);

} // namespace vantery::app
