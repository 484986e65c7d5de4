// The main window's size, position and tab between launches, where a saved window may
// open on the screens there are now, and where they are never kept.
#include <QDir>
#include <QDirIterator>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "model/AppSettings.hpp"
#include "model/WindowMemory.hpp"

namespace vantery::app {
namespace {

TEST(WindowMemory, KeepsSizePositionAndTabUnderItsOwnKeysOnly) {
    QTemporaryDir dir;
    QSettings settings(dir.filePath("app.conf"), QSettings::IniFormat);
    settings.setValue("other/key", 1);
    WindowMemory memory(settings);
    EXPECT_EQ(memory.load(), std::nullopt);

    memory.save({.size = {900, 640}, .position = {-20, 35}, .tab = "Date range"});
    QSettings reread(dir.filePath("app.conf"), QSettings::IniFormat);
    const auto saved = WindowMemory(reread).load();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->size, QSize(900, 640));
    EXPECT_EQ(saved->position, QPoint(-20, 35));
    EXPECT_EQ(saved->tab, "Date range");
    EXPECT_EQ(reread.allKeys().size(), 4);

    reread.setValue("mainWindow/size", "not a size");
    EXPECT_EQ(WindowMemory(reread).load(), std::nullopt);
}

// XDG_CONFIG_HOME inside a Claude home, directly or through a link: nothing is kept there.
TEST(WindowMemory, NoSettingsFileInsideAClaudeHome) {
    QTemporaryDir dir;
    const QString claude = dir.filePath("home/.claude");
    ASSERT_TRUE(QDir().mkpath(claude + "/projects"));
    ASSERT_TRUE(QFile::link(claude, dir.filePath("linked")));
    const auto homes = SourceHome::defaults(dir.filePath("home").toStdString());
    for (const QString& config : {claude + "/config", dir.filePath("linked/config")}) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config);
        EXPECT_EQ(appSettings(homes), nullptr) << config.toStdString();
    }
    // The settings file a link to a file not made yet in the home.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("linking"));
    const QString file = QSettings().fileName();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()));
    ASSERT_TRUE(QFile::link(claude + "/later.conf", file));
    EXPECT_EQ(appSettings(homes), nullptr);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("config"));
    auto settings = appSettings(homes);
    ASSERT_NE(settings, nullptr);
    settings->setValue("mainWindow/tab", "Agents");
    settings->sync();
    EXPECT_TRUE(settings->fileName().startsWith(dir.filePath("config/")));
    EXPECT_TRUE(QFile::exists(settings->fileName()));
    QDirIterator inside(claude, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
    EXPECT_EQ(inside.next(), claude + "/projects");
    EXPECT_FALSE(inside.hasNext());
}

// Qt's file dialog keeps its own memory (QtProject.conf) where Qt's user settings live:
// never inside a Claude home either.
TEST(WindowMemory, TheFileDialogWritesNothingInsideAClaudeHome) {
    QTemporaryDir dir;
    const QString claude = dir.filePath("home/.claude");
    ASSERT_TRUE(QDir().mkpath(claude + "/projects"));
    const auto homes = SourceHome::defaults(dir.filePath("home").toStdString());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, claude + "/config");
    keepQtSettingsOutOf(homes);
    {
        QFileDialog dialog(nullptr, QStringLiteral("Export"), dir.path());
        dialog.setOption(QFileDialog::DontUseNativeDialog);
    }
    QDirIterator inside(claude, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
    EXPECT_EQ(inside.next(), claude + "/projects");
    EXPECT_FALSE(inside.hasNext()) << inside.next().toStdString();
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, dir.filePath("config"));
}

TEST(WindowMemory, APositionOffEveryScreenIsIgnored) {
    const QList<QRect> screens = {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
    const auto place = [&](QPoint at, QSize size = {1040, 720}) {
        return placeOnScreens({.size = size, .position = at, .tab = {}}, screens);
    };
    EXPECT_EQ(place({100, 80}).position, QPoint(100, 80));
    // On the second screen, and no bigger than it.
    const auto second = place({2000, 10}, {1600, 1200});
    EXPECT_EQ(second.position, QPoint(2000, 10));
    EXPECT_EQ(second.size, QSize(1280, 1024));
    // A screen that is gone, a title bar above every screen, one barely on an edge.
    EXPECT_EQ(place({3300, 100}).position, std::nullopt);
    EXPECT_EQ(place({100, -30}).position, std::nullopt);
    EXPECT_EQ(place({3200 - 50, 100}).position, std::nullopt);
    EXPECT_EQ(place({3200 - 100, 100}).position, QPoint(3100, 100));
    // Dropped, the size still fits the primary screen.
    EXPECT_EQ(place({-5000, 0}, {2500, 900}).size, QSize(1920, 900));
    EXPECT_EQ(placeOnScreens({.size = {900, 640}, .position = {}, .tab = {}}, {}).size,
              QSize(900, 640));
}

} // namespace
} // namespace vantery::app
