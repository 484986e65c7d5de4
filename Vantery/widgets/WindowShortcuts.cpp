#include "widgets/WindowShortcuts.hpp"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace vantery::app {
namespace {

void collect(const QList<QAction*>& actions, QList<QAction*>& out) {
    for (QAction* a : actions) {
        out.append(a);
        if (QMenu* menu = a->menu()) collect(menu->actions(), out);
    }
}

bool matches(const QAction& action, const QKeySequence& pressed) {
    if (!action.isEnabled()) return false;
    for (const QKeySequence& s : action.shortcuts())
        if (s.matches(pressed) == QKeySequence::ExactMatch) return true;
    return false;
}

} // namespace

WindowShortcuts::WindowShortcuts(QWidget* window) : QObject(window), window_(window) {
    qApp->installEventFilter(this);
}

WindowShortcuts::~WindowShortcuts() {
    qApp->removeEventFilter(this);
}

bool WindowShortcuts::isWindowShortcut(const QWidget& window, const QKeyEvent& key) {
    if (key.key() == 0 || key.key() == Qt::Key_unknown) return false;
    QList<QAction*> actions;
    collect(window.actions(), actions);
    collect(window.findChildren<QAction*>(), actions);
    if (const auto* main = qobject_cast<const QMainWindow*>(&window))
        if (const auto* bar = qobject_cast<const QMenuBar*>(main->menuWidget()))
            collect(bar->actions(), actions);
    const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    // A shifted symbol (Ctrl+? is Ctrl+Shift+/ on most layouts) is also tried without
    // its Shift, as the shortcut map itself does.
    const QKeySequence pressed(QKeyCombination(mods, Qt::Key(key.key())));
    const QKeySequence unshifted(QKeyCombination(mods & ~Qt::ShiftModifier, Qt::Key(key.key())));
    for (const QAction* a : actions)
        if (matches(*a, pressed) || matches(*a, unshifted)) return true;
    return false;
}

bool WindowShortcuts::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride || !window_) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != window_) return false;
    // Swallowed but left unaccepted: no editor claims the key, so the action fires.
    return isWindowShortcut(*window_, *static_cast<QKeyEvent*>(event));
}

} // namespace vantery::app
