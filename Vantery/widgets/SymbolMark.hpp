#pragma once
// The small painted symbols (chevrons, check marks, warnings, seals), drawn with the
// painter in any colour so they look alike on every platform.
#include <QColor>
#include <QWidget>

class QPainter;

namespace vantery::app {

class SymbolMark : public QWidget {
    Q_OBJECT
  public:
    enum class Symbol {
        chevronRight,
        chevronDown,
        eye,
        checkCircle,
        warningTriangle,
        questionCircle,
        checkSeal,
        xmarkSeal,
    };

    /// A square mark `side` pixels wide, or `width` wide when given (the chevrons' frame).
    SymbolMark(Symbol symbol, const QColor& color, int side, int width = -1,
               QWidget* parent = nullptr);
    Symbol symbol() const noexcept { return symbol_; }
    /// Draws `symbol` in `color` filling `square` (also for painted lists and other marks).
    static void paint(QPainter& painter, const QRectF& square, Symbol symbol, const QColor& color);
    QColor color() const { return color_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Symbol symbol_;
    QColor color_;
    int side_;
};

} // namespace vantery::app
