#pragma once
// What the analysis tabs share beyond the table views: the scroll area holding a tab's
// cards, plain-text labels, a tile from its texts, and coalesced rebuilds.
#include <functional>
#include <string>

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

#include "model/TabParts.hpp"
#include "widgets/TableViews.hpp"

namespace vantery::app {

/// A vertical scroll area with its indicator always shown; setPage() swaps the stack of
/// cards it holds, keeping the scroll position.
class TabScrollArea : public QScrollArea {
    Q_OBJECT
  public:
    explicit TabScrollArea(QWidget* parent = nullptr);
    /// A fresh page: a leading-aligned stack padded 16 on every side, with `spacing`
    /// between its cards. Fill it, then pass its widget to setPage().
    static QVBoxLayout* newPage(int spacing);
    /// Shows the page whose layout newPage() returned; the previous page is deleted.
    void setPage(QVBoxLayout* page);
};

/// A label that shows `text` literally (never as markup), in `font` and `color`.
QLabel* plainText(const std::string& text, const QFont& font, const QColor& color,
                  QWidget* parent = nullptr, bool wrap = false);

/// A stat tile from its texts.
StatTile* statTile(const TileText& tile, QWidget* parent = nullptr);

/// A card with a title and optional subtitle; `spacing` between its content's items
/// (0 for a table, whose rows bring their own padding and dividers).
SectionCard* sectionCard(const CardTitle& title, QWidget* parent = nullptr, int spacing = 8);

/// "TOTAL"/"COST" with the large cost and, for a lower bound, its caveat below it.
QWidget* headlineCost(const std::string& caption, const CostEstimate& cost,
                      const std::optional<std::string>& caveat, QWidget* parent = nullptr);

/// Runs `rebuild` once on the next turn of the event loop however often it is asked
/// for, so that a refresh publishing several values redraws a tab once.
class RebuildScheduler {
  public:
    RebuildScheduler(QObject* owner, std::function<void()> rebuild);
    void request();

  private:
    QObject* owner_;
    std::function<void()> rebuild_;
    bool pending_ = false;
};

} // namespace vantery::app
