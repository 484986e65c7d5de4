#include "model/AppSettings.hpp"

#include <QFile>

#include "vantery/cache/CacheLocation.hpp"

namespace vantery::app {

std::unique_ptr<QSettings> appSettings(const std::vector<SourceHome>& homes) {
    // A QSettings only reads until a value is set, so asking it for its file is safe.
    auto settings = std::make_unique<QSettings>();
    const std::string file = QFile::encodeName(settings->fileName()).toStdString();
    if (cachefile::withinClaudeHome(file, homes)) return nullptr;
    return settings;
}

void keepQtSettingsOutOf(const std::vector<SourceHome>& homes) {
    const QSettings qt(QSettings::UserScope, QStringLiteral("QtProject"));
    if (!cachefile::withinClaudeHome(QFile::encodeName(qt.fileName()).toStdString(), homes)) return;
    // No folder can be made below a device file, so no settings file either.
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null"));
}

} // namespace vantery::app
