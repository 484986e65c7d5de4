#pragma once
// A documentation aid, used by scripts/screenshots.sh: with VANTERY_SCREENSHOT_DIR set,
// the app waits for its first refresh, writes a grab of the main window on every tab
// (main-<tab>.png; the Sources tab right after a full verification) and of the help
// window (help.png) into that folder, and quits.
#include <QString>

namespace vantery::app {

class VanteryApp;

/// Starts the run; the app exits with 0 once every picture is written, 1 on a failed
/// write or when the figures are not ready within five minutes.
void startScreenshotRun(VanteryApp& app, const QString& directory);

} // namespace vantery::app
