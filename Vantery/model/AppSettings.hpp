#pragma once
// Where the app keeps what it remembers between launches (the main window's size,
// position and tab): Qt's user settings file for the application's names, unless that
// lies inside a Claude home, which the app only reads.
#include <QSettings>

#include <memory>
#include <vector>

#include "vantery/model/UsageRecord.hpp"

namespace vantery::app {

/// The user's settings for the application's organization and name, or null when their
/// file (XDG_CONFIG_HOME, say, pointing into ~/.claude) lies inside one of `homes`: then
/// nothing is remembered, as the scan cache is not kept there either. Writes nothing.
std::unique_ptr<QSettings> appSettings(const std::vector<SourceHome>& homes);

/// Keeps Qt's own user settings (QtProject.conf, which its file dialog writes when it
/// closes) out of `homes`: when their file would lie inside one, Qt's user settings are
/// pointed where no file can be made, so that a dialog remembers nothing. Settings made
/// before keep their file. Writes nothing.
void keepQtSettingsOutOf(const std::vector<SourceHome>& homes);

} // namespace vantery::app
