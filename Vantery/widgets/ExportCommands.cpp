#include "widgets/ExportCommands.hpp"

#include <QAction>
#include <QKeySequence>
#include <QMessageBox>
#include <QPointer>

#include "model/ExportRunner.hpp"
#include "widgets/ExportServices.hpp"

namespace vantery::app {

namespace {

void showFailure(QWidget* parent, const std::string& message) {
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Export"),
                                QString::fromStdString(message), QMessageBox::Ok, parent);
    // The message may hold a path, which must never render as markup.
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace

void installExportCommands(QMenu* fileMenu, UsageStore& store, QWidget* dialogParent) {
    struct Item {
        const char* text;
        QKeySequence shortcut;
        ExportOperation operation;
    };
    const Item items[] = {
        {"Export CSV…", QKeySequence(Qt::CTRL | Qt::Key_E), ExportOperation::projectCSV},
        {"Export Every Breakdown…", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E),
         ExportOperation::everyBreakdown},
        {"Copy Summary", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C),
         ExportOperation::copySummary},
    };
    QPointer<QWidget> parent(dialogParent);
    QPointer<ExportRunner> runner(&ExportRunner::of(store));
    std::vector<QAction*> actions;
    for (const auto& item : items) {
        auto* action = fileMenu->addAction(QString::fromUtf8(item.text));
        action->setShortcut(item.shortcut);
        const auto operation = item.operation;
        QObject::connect(
            action, &QAction::triggered, fileMenu, [runner, parent, operation, fileMenu] {
                if (!runner) return;
                runner->start(operation, desktopExportServices(parent), fileMenu,
                              [parent](const ExportController::Outcome& outcome) {
                                  if (outcome.kind == ExportController::Outcome::Kind::failed)
                                      showFailure(parent, *outcome.message());
                              });
            });
        actions.push_back(action);
    }
    // A greyed item says why, in the status bar and as its tooltip.
    fileMenu->setToolTipsVisible(true);
    const auto update = [runner, actions] {
        const std::optional<std::string> why =
            runner ? runner->unavailable() : std::optional<std::string>("Unavailable");
        const QString tip = QString::fromStdString(why.value_or(""));
        for (auto* action : actions) {
            action->setEnabled(!why);
            action->setStatusTip(tip);
            action->setToolTip(why ? tip : action->text());
        }
    };
    update();
    QObject::connect(&store, &UsageStore::rangeReportChanged, fileMenu, update);
    QObject::connect(&store, &UsageStore::rangeSelectionChanged, fileMenu, update);
    QObject::connect(&store, &UsageStore::rangeIsComputingChanged, fileMenu, update);
    QObject::connect(runner, &ExportRunner::runningChanged, fileMenu, update);
}

} // namespace vantery::app
