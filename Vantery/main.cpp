// The entry of the desktop app: the application object, the app, the event loop.
// --version and --help answer before the application object exists, so they need
// no display.
#include <QApplication>
#include <QDir>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/AppSettings.hpp"
#include "model/BackgroundTask.hpp"
#include "model/ProductPage.hpp"
#include "model/SingleInstance.hpp"
#include "vantery/base/AllocatorRetention.hpp"
#include "vantery/base/CommandLine.hpp"
#include "vantery/base/Paths.hpp"
#include "vantery/cache/CacheLocation.hpp"
#include "vantery/model/UsageRecord.hpp"
#include "widgets/ScreenshotRun.hpp"
#include "widgets/VanteryApp.hpp"

namespace {

// How long a quit waits for the work it asked to stop: within a second of the quit the
// process is gone, even on a busy machine.
constexpr std::chrono::milliseconds quitWorkBudget{400};

std::string usage(const std::string& version) {
    return "Vantery " + version +
           ": the Vantery desktop app. Its tray (menu bar) icon shows what your\n"
           "Claude Code usage cost today, from the transcripts on this machine; its window\n"
           "breaks the cost down and exports it.\n"
           "\n"
           "Usage: Vantery            start the app\n"
           "       Vantery --help     show this text\n"
           "       Vantery --version  print the version\n"
           "\n"
           "Transcripts are read from the Claude homes in your home folder:\n" +
           vantery::cli::homesLine(vantery::SourceHome::defaultNames()) +
           "\n"
           "Environment:\n" +
           vantery::cli::commonUsageTail(
               vantery::cachefile::defaultPath(vantery::paths::processEnvironment()));
}

// The options QApplication takes itself (it removes them before the app sees its
// arguments), with the number of words each takes.
int qtOptionWords(std::string_view arg) {
    static constexpr std::string_view withValue[] = {"-platform",      "-platformpluginpath",
                                                     "-platformtheme", "-plugin",
                                                     "-style",         "-stylesheet",
                                                     "-session",       "-qwindowgeometry",
                                                     "-qwindowicon",   "-qwindowtitle",
                                                     "-geometry",      "-display",
                                                     "-name",          "-title",
                                                     "-qmljsdebugger"};
    static constexpr std::string_view alone[] = {"-reverse", "-widgetcount", "-nograb",
                                                 "-dograb",  "-sync",        "-visual"};
    for (std::string_view o : withValue) {
        if (arg == o) return 2;
        if (arg.size() > o.size() && arg.starts_with(o) && arg[o.size()] == '=') return 1;
    }
    for (std::string_view o : alone)
        if (arg == o) return 1;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    vantery::boundAllocatorRetention();
    const std::optional<std::string> version = vantery::app::ProductPage::shippedVersion();
    const std::string shownVersion = version.value_or("(unversioned)");
    if (auto status =
            vantery::cli::answerOptions(argc, argv, "Vantery", shownVersion, usage(shownVersion),
                                        std::cout, std::cerr, qtOptionWords))
        return *status;

    QApplication qtApp(argc, argv);
    // The name is also the window's WM_CLASS, which the desktop entry's StartupWMClass
    // names; the desktop file name is the app id of Wayland and of desktop shells.
    QApplication::setApplicationName(QStringLiteral("Vantery"));
    QApplication::setOrganizationName(QStringLiteral("Kelvora"));
    QApplication::setOrganizationDomain(QStringLiteral("kelvora.ro"));
    QGuiApplication::setDesktopFileName(QStringLiteral("ro.kelvora.vantery"));
    // The status bar shows the application version: the shipped one, when the build has one.
    if (version) QApplication::setApplicationVersion(QString::fromStdString(*version));

    const QString shots = qEnvironmentVariable("VANTERY_SCREENSHOT_DIR");
    // A screenshot run is a tool of its own and never meets the user's running app.
    vantery::app::SingleInstance instance(vantery::app::SingleInstance::defaultSocketPath());
    if (shots.isEmpty()) {
        using Role = vantery::app::SingleInstance::Role;
        switch (instance.claim()) {
        case Role::primary:
            break;
        case Role::handedOver:
            return 0; // the running one shows its window
        case Role::noAnswer:
            std::cerr << "Vantery is already running but did not answer; it was not started "
                         "again.\n";
            return 1;
        case Role::lockedOut:
            std::cerr << "Vantery: " << instance.error().toStdString() << "; it was not started.\n";
            return 1;
        case Role::alone:
            std::cerr << "Vantery: " << instance.error().toStdString()
                      << "; a second start will not find this one.\n";
            break;
        }
    }

    vantery::app::VanteryApp app;
    if (!shots.isEmpty()) {
        vantery::app::startScreenshotRun(app, shots);
        return QApplication::exec();
    }
    // Qt's settings file for the organization and application named above, never one
    // inside a Claude home.
    const auto homes = vantery::SourceHome::defaults(QDir::homePath().toStdString());
    if (auto settings = vantery::app::appSettings(homes))
        app.rememberWindowIn(std::move(settings));
    else
        std::cerr << "Vantery: the settings file lies inside a Claude home, which is only "
                     "read; the window's size and tab are not kept.\n";
    vantery::app::keepQtSettingsOutOf(homes); // the export dialogs' own memory
    QObject::connect(&instance, &vantery::app::SingleInstance::activationRequested, &app,
                     &vantery::app::VanteryApp::openMainWindow);
    app.start();
    const int status = QApplication::exec();
    // A start from now on waits until this process is gone.
    instance.stopAnswering();
    app.finish();
    // Work that does not stop in time is abandoned: the cache file is only ever replaced
    // whole, so a save cut short leaves the old one as it was.
    vantery::app::finishWork(quitWorkBudget);
    // Nothing is left to write, and freeing a history of millions of requests piece by
    // piece takes longer than the kernel takes to drop the whole process.
    std::cout.flush();
    std::cerr.flush();
    std::_Exit(status);
}
