#pragma once
// One segment of a picker (the range presets, the agents scope): a checkable text
// button whose checked state fills with the palette's highlight, so the selection shows
// in dark themes too, where the style's own checked shade is barely darker than the rest.
#include <QToolButton>

namespace vantery::app {

class SegmentButton : public QToolButton {
  public:
    /// A checkable, text-only button showing `text`.
    explicit SegmentButton(const QString& text, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vantery::app
