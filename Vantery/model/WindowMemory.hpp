#pragma once
// What the app remembers of its main window between launches: its size, its position
// and the selected tab, in the user's settings for the app.
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

class QSettings;

namespace vantery::app {

/// The main window as it was last closed.
struct SavedWindow {
    QSize size;      ///< the window without its frame
    QPoint position; ///< the top-left corner of its frame
    QString tab;     ///< the sidebar label of the selected tab
};

/// Where a saved window opens on the screens there are now.
struct WindowPlacement {
    QSize size;                     ///< bounded to the screen it opens on
    std::optional<QPoint> position; ///< absent: the window system places it
};

/// Reads and writes the main window's keys of `settings`, nothing else of it.
class WindowMemory {
  public:
    explicit WindowMemory(QSettings& settings) : settings_(settings) {}

    /// The window last saved; absent when none was, or its size is not usable.
    std::optional<SavedWindow> load() const;
    void save(const SavedWindow& window);

  private:
    QSettings& settings_;
};

/// Places `saved` on `screens` (their full geometries, the primary screen first). The
/// position is kept when the top strip of the window, where its title bar is, lies on
/// one screen over at least 100 pixels of its width (or all of it, for a narrower
/// window); otherwise it is dropped, so that a window last seen on a screen that is
/// gone does not open out of reach. The size is bounded to the screen it opens on.
WindowPlacement placeOnScreens(const SavedWindow& saved, const QList<QRect>& screens);

} // namespace vantery::app
