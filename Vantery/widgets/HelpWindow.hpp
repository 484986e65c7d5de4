#pragma once
// The static help page: how to read the app's figures. One window, "Vantery Help";
// it reads no data.
#include <QScrollArea>

namespace vantery::app {

class HelpWindow : public QScrollArea {
    Q_OBJECT
  public:
    /// A top-level window of at least 520 × 420, 580 × 620 at first; scrolls vertically
    /// only, every body wrapping to the width.
    explicit HelpWindow(QWidget* parent = nullptr);
};

} // namespace vantery::app
