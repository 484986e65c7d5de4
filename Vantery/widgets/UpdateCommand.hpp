#pragma once
// "Check for Updates…": asks the build's update feed once, when the user chooses it.
#include <QAction>
#include <QObject>
#include <QWidget>

#include "model/UpdateCheck.hpp"

namespace vantery::app {

/// The menu item, placed in the application menu on macOS. Each trigger runs one check
/// (a trigger while one runs is ignored) and shows the result in a message box over
/// `dialogParent`.
QAction* makeCheckForUpdatesAction(QObject* parent, QWidget* dialogParent);

/// The same with a checker of the caller's settings (feed, version, timeout).
QAction* makeCheckForUpdatesAction(QObject* parent, QWidget* dialogParent,
                                   UpdateChecker::Settings settings);

} // namespace vantery::app
