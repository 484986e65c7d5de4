// Every menu shortcut fires with the focus in an editor of the main window (the date
// pickers and the agents filter take keys such as Ctrl+E for themselves otherwise).
#include <QAction>
#include <QApplication>
#include <QDateEdit>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "widgets/MainWindow.hpp"
#include "widgets/VanteryApp.hpp"

namespace vantery::app {
namespace {

// Claims every shortcut override, as X11's key bindings make a line edit claim Ctrl+E
// (the offscreen platform binds no such key, so it is claimed here).
class ClaimsEveryKey : public QObject {
  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::ShortcutOverride) return false;
        event->accept();
        return true;
    }
};

QList<QAction*> shortcutActions(const VanteryApp& app) {
    QList<QAction*> out;
    for (QMenu* menu : {app.fileMenu(), app.viewMenu(), app.helpMenu()})
        for (QAction* a : menu->actions())
            if (!a->shortcut().isEmpty()) out.append(a);
    return out;
}

// Presses each menu shortcut in `editor` (focused) and expects its action to fire once.
// The actions' own slots are cut first (they would open dialogs or quit), and the
// exports, disabled on an empty home, are enabled.
void expectEveryShortcutFires(VanteryApp& app, QWidget* editor) {
    ASSERT_NE(editor, nullptr);
    ClaimsEveryKey claim;
    editor->installEventFilter(&claim);
    editor->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor->window()));
    ASSERT_TRUE(editor->hasFocus());
    const QList<QAction*> actions = shortcutActions(app);
    ASSERT_GE(actions.size(), 5); // three exports, quit, refresh, verification, help
    for (QAction* a : actions) {
        QObject::disconnect(a, &QAction::triggered, nullptr, nullptr);
        a->setEnabled(true);
        QSignalSpy fired(a, &QAction::triggered);
        const QKeyCombination key = a->shortcut()[0];
        QTest::keyClick(editor, key.key(), key.keyboardModifiers());
        EXPECT_EQ(fired.count(), 1)
            << a->text().toStdString() << " from " << editor->metaObject()->className();
    }
}

class WindowShortcutsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        const std::string home = dir_.path().toStdString();
        UsageStore::Options options;
        options.home = home;
        options.cachePath = home + "/cache.bin";
        options.clock = [] { return 1'765'000'000.0; };
        options.start = false;
        app_ = std::make_unique<VanteryApp>(std::move(options));
        app_->openMainWindow();
    }
    void TearDown() override {
        app_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QTemporaryDir dir_;
    std::unique_ptr<VanteryApp> app_;
};

TEST_F(WindowShortcutsTest, MenuShortcutsWinOverTheEditorWithTheFocus) {
    MainWindow* window = app_->mainWindow();
    window->selectTab(Tab::range);
    auto* custom = window->currentPage()->findChild<QToolButton*>("custom");
    ASSERT_NE(custom, nullptr);
    custom->click(); // shows the First day and Last day pickers
    QCoreApplication::processEvents();
    auto* firstDay = window->currentPage()->findChild<QDateEdit*>();
    ASSERT_TRUE(firstDay && firstDay->isVisible());
    expectEveryShortcutFires(*app_, firstDay);

    // Keys that are no shortcut still reach the picker.
    const QDate before = firstDay->date();
    QTest::keyClick(firstDay, Qt::Key_Up);
    EXPECT_NE(firstDay->date(), before);

    window->selectTab(Tab::agents);
    expectEveryShortcutFires(*app_, window->currentPage()->findChild<QLineEdit*>());
}

} // namespace
} // namespace vantery::app
