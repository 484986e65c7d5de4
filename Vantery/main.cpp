// The entry of the desktop app: the application object, the app, the event loop.
#include <QApplication>

#include "model/ProductPage.hpp"
#include "widgets/ScreenshotRun.hpp"
#include "widgets/VanteryApp.hpp"

int main(int argc, char** argv) {
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantery"));
    // The status bar shows the application version: the shipped one, when the build has one.
    if (const auto version = vantery::app::ProductPage::shippedVersion())
        QApplication::setApplicationVersion(QString::fromStdString(*version));
    vantery::app::VanteryApp app;
    if (const QString shots = qEnvironmentVariable("VANTERY_SCREENSHOT_DIR"); !shots.isEmpty())
        vantery::app::startScreenshotRun(app, shots);
    else
        app.start();
    return QApplication::exec();
}
