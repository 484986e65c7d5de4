#pragma once
// The four views that show a figure honestly wherever one appears: an estimate that may
// be unknown, a cost that may be a lower bound, the token composition of a bucket, and
// the disclaimer. They lay out the texts of model/FigureTexts and keep nothing else.
#include <utility>

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QWidget>

#include "model/FigureTexts.hpp"
#include "vantery/model/Estimate.hpp"
#include "vantery/report/Bucket.hpp"

class QPainter;

namespace vantery::app {

/// The colour of a tone; `primary` is the colour the caller asked for.
QColor toneColor(Tone tone, const QColor& primary);

/// Shows `figure` on `label` as plain text: its font (italic when the figure is), its
/// tone's colour and its tooltip (cleared when the figure has none).
void applyFigure(QLabel* label, const FigureText& figure, const QFont& font, const QColor& primary);

/// An `Estimate`: format(value) in the caller's font and colour when known; otherwise
/// "unknown" in the caller's font, italic, in Theme::unknown, the reason as tooltip.
class EstimateText : public QLabel {
    Q_OBJECT
  public:
    EstimateText(const FigureText& figure, const QFont& font, const QColor& color,
                 QWidget* parent = nullptr);
    template <class T, class F>
    EstimateText(const Estimate<T>& estimate, F&& format, const QFont& font, const QColor& color,
                 QWidget* parent = nullptr)
        : EstimateText(FigureTexts::estimate(estimate, std::forward<F>(format)), font, color,
                       parent) {}

    /// Shows another figure in the font and colour given at construction.
    void setFigure(const FigureText& figure);

  private:
    QFont font_;
    QColor color_;
};

/// The warning triangle behind which a lower bound's caveat sits (its tooltip).
class CaveatMarker : public QWidget {
    Q_OBJECT
  public:
    explicit CaveatMarker(QWidget* parent = nullptr);
    QSize sizeHint() const override;
    /// Draws the marker into `rect` (also used by the painted table list).
    static void paint(QPainter& painter, const QRectF& rect);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

/// A `CostEstimate`: formatted() in the caller's font, the caller's colour when complete
/// and Theme::accent when a lower bound; then, only with a caveat, the warning marker
/// whose tooltip is the caveat. Spacing 4, vertically centred.
class CostText : public QWidget {
    Q_OBJECT
  public:
    CostText(const CostEstimate& cost, const QFont& font, const QColor& color,
             QWidget* parent = nullptr);
    void setCost(const CostEstimate& cost);

    QLabel* amount() const noexcept { return amount_; }
    /// The marker; hidden while the cost is complete.
    CaveatMarker* marker() const noexcept { return marker_; }

  private:
    QFont font_;
    QColor color_;
    QLabel* amount_;
    CaveatMarker* marker_;
};

/// How a bucket's tokens split into cache read, cache write, output and input: a capsule
/// `height` points high across the full width (faded when there is no token), optionally
/// with the dominant-component line below it (spacing 6).
class CompositionBar : public QWidget {
    Q_OBJECT
  public:
    CompositionBar(const Bucket& bucket, double height, bool showLegend, QWidget* parent = nullptr);
    void setBucket(const Bucket& bucket);

    /// The legend line, or null without legend.
    QLabel* legend() const noexcept { return legend_; }
    /// Draws the bar of `bucket` into `rect`: parts in their colours, clipped to a capsule
    /// whose corner radius is half the height; the faded empty bar without tokens.
    static void paint(QPainter& painter, const QRectF& rect, const Bucket& bucket);

  private:
    class Strip;
    Strip* strip_;
    QLabel* legend_ = nullptr;
};

/// The fixed disclaimer with an info mark, caption size, secondary colour, wrapping.
class DisclaimerLine : public QWidget {
    Q_OBJECT
  public:
    explicit DisclaimerLine(QWidget* parent = nullptr);
    QLabel* text() const noexcept { return text_; }

  private:
    QLabel* text_;
};

/// The colour of a token component.
QColor componentColor(Component component);

} // namespace vantery::app
