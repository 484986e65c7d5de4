#pragma once
// The scaffolding the Agents and Projects tabs share: the scrolling column of cards,
// plain-text labels, a row of tiles and the italic "unknown" of an empty table.
#include <string>
#include <vector>

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

#include "model/TileText.hpp"

namespace vantery::app::TabSections {

/// Makes `tab` a vertical scroll view whose content is a leading-aligned column padded
/// 16 on every side with `spacing` between its cards; returns that column.
QVBoxLayout* scrollingColumn(QWidget* tab, int spacing);

/// A label that shows `text` literally (never as markup), wrapping when asked.
QLabel* plainText(const std::string& text, const QFont& font, const QColor& color, bool wrap,
                  QWidget* parent = nullptr);

/// A centre-aligned row, spacing 20, of one StatTile per tile.
QWidget* tilesRow(const std::vector<TileText>& tiles, QWidget* parent = nullptr);

/// The empty list's single word: "unknown", callout, italic, Theme::unknown.
QLabel* unknownLine(QWidget* parent = nullptr);

/// Deletes every item of `layout` with its widget (content rebuilt from the store).
void clear(QLayout* layout);

} // namespace vantery::app::TabSections
