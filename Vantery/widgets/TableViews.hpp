#pragma once
// The building blocks of every tab: a card framing a section, a tile showing one
// figure, and the header plus rows of the breakdown tables, which all share one set of
// column widths and number formats. Sizes are device-independent pixels.
#include <optional>
#include <string>
#include <utility>

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

#include "model/FigureTexts.hpp"
#include "vantery/model/Estimate.hpp"
#include "vantery/report/Bucket.hpp"
#include "widgets/FigureViews.hpp"

namespace vantery::app {

/// The shared columns of `TableHeader` and `BucketRow`; the first takes the rest.
namespace TableColumns {
inline constexpr int spacing = 12;
inline constexpr int requests = 62;
inline constexpr int tokens = 70;
inline constexpr int composition = 90;
inline constexpr int cost = 110;
inline constexpr int barHeight = 5;
inline constexpr int rowPadding = 3;    ///< above and below a row
inline constexpr int headerPadding = 4; ///< above and below the header
inline constexpr double rowDividerOpacity = 0.35;
} // namespace TableColumns

/// A one-line plain-text label that loses characters in the middle (or at the head)
/// when it is too narrow, so both ends of a path or id stay visible. text() is the whole
/// text as Fmt::cleanName shows a name.
class ElidedLabel : public QLabel {
    Q_OBJECT
  public:
    explicit ElidedLabel(const QString& text, Qt::TextElideMode mode = Qt::ElideMiddle,
                         QWidget* parent = nullptr);
    QSize minimumSizeHint() const override;
    /// The text as drawn at the current width.
    QString shownText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Qt::TextElideMode mode_;
};

/// A hairline in the separator colour, at the given opacity; horizontal ones take the
/// full width, vertical ones the given height.
class Divider : public QWidget {
    Q_OBJECT
  public:
    explicit Divider(double opacity = 1.0, QWidget* parent = nullptr);
    /// A vertical divider `height` pixels high (the tiles' separators).
    static Divider* vertical(int height, QWidget* parent = nullptr);
    double opacity() const noexcept { return opacity_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    double opacity_;
    Qt::Orientation orientation_ = Qt::Horizontal;
};

/// A filled mark before a row: a circle (agents, homes, provenance agents) or, with a
/// corner radius, a rounded square (share rows).
class Dot : public QWidget {
    Q_OBJECT
  public:
    Dot(const QColor& color, int side, double cornerRadius = -1, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor color_;
    double radius_;
};

/// One breakdown row: label (middle-elided) with an optional caption under it, requests,
/// tokens, a 5-high composition bar and the cost, in the shared columns.
class BucketRow : public QWidget {
    Q_OBJECT
  public:
    BucketRow(const std::string& label, const Bucket& bucket, int indent = 0,
              const std::optional<std::string>& accessory = std::nullopt,
              QWidget* parent = nullptr);

    ElidedLabel* label() const noexcept { return label_; }
    /// The caption under the label, or null.
    QLabel* accessory() const noexcept { return accessory_; }

  private:
    ElidedLabel* label_;
    QLabel* accessory_ = nullptr;
};

/// The titles of the shared columns: `first`, "requests", "tokens", "composition", "cost".
class TableHeader : public QWidget {
    Q_OBJECT
  public:
    explicit TableHeader(const std::string& first, QWidget* parent = nullptr);
};

/// Appends `row` and, below it, a divider at `dividerOpacity` to a table's layout.
void addTableRow(QBoxLayout* table, QWidget* row,
                 double dividerOpacity = TableColumns::rowDividerOpacity);

/// A titled section on a rounded card; its content stacks vertically in content().
class SectionCard : public QWidget {
    Q_OBJECT
  public:
    SectionCard(const std::string& title, const std::optional<std::string>& subtitle = std::nullopt,
                QWidget* parent = nullptr);

    /// Where the card's content goes, top to bottom.
    QVBoxLayout* content() const noexcept { return content_; }
    void addWidget(QWidget* widget) { content_->addWidget(widget); }
    QLabel* title() const noexcept { return title_; }
    QLabel* subtitle() const noexcept { return subtitle_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QLabel* title_;
    QLabel* subtitle_ = nullptr;
    QVBoxLayout* content_;
};

/// One figure: an upper-cased caption title, the estimate in a large font (an italic
/// "unknown" with its reason when it cannot be computed), and an optional note.
class StatTile : public QWidget {
    Q_OBJECT
  public:
    StatTile(const std::string& title, const FigureText& figure,
             const std::optional<std::string>& note = std::nullopt, QWidget* parent = nullptr);
    /// A cost in the large font, drawn as CostText draws it (a lower bound in the accent
    /// colour with its caveat marker).
    StatTile(const std::string& title, const CostEstimate& cost,
             const std::optional<std::string>& note = std::nullopt, QWidget* parent = nullptr);
    template <class T, class F>
    StatTile(const std::string& title, const Estimate<T>& estimate, F&& format,
             const std::optional<std::string>& note = std::nullopt, QWidget* parent = nullptr)
        : StatTile(title, FigureTexts::estimate(estimate, std::forward<F>(format)), note, parent) {}

    QLabel* title() const noexcept { return title_; }
    /// The estimate; null on a cost tile.
    EstimateText* figure() const noexcept { return figure_; }
    /// The cost; null unless a cost tile.
    CostText* cost() const noexcept { return cost_; }
    QLabel* note() const noexcept { return note_; }

  private:
    StatTile(const std::string& title, QWidget* parent);
    void stack(QWidget* figure, const std::optional<std::string>& note);

    QLabel* title_;
    EstimateText* figure_ = nullptr;
    CostText* cost_ = nullptr;
    QLabel* note_ = nullptr;
};

} // namespace vantery::app
