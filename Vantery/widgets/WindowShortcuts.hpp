#pragma once
// Lets a window's menu shortcuts win over the editors inside it: a line edit or date
// picker with the focus otherwise claims keys such as Ctrl+E ("end of line" on X11)
// and the menu item never fires.
#include <QObject>
#include <QPointer>
#include <QWidget>

class QKeyEvent;

namespace vantery::app {

class WindowShortcuts : public QObject {
  public:
    /// Watches the application's shortcut overrides for widgets inside `window`, for as
    /// long as this object lives (it is a child of the window).
    explicit WindowShortcuts(QWidget* window);
    ~WindowShortcuts() override;

    /// True when `key` is the shortcut of an enabled action of `window`: one added to
    /// it, owned by it, or in a menu of its menu bar.
    static bool isWindowShortcut(const QWidget& window, const QKeyEvent& key);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPointer<QWidget> window_;
};

} // namespace vantery::app
