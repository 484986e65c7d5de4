#include "widgets/UpdateCommand.hpp"

#include <QMessageBox>
#include <QPointer>

#include "model/ProductPage.hpp"

namespace vantery::app {

namespace {

QAction* makeAction(QObject* parent, QWidget* dialogParent, UpdateChecker* checker) {
    auto* action = new QAction(QStringLiteral("Check for Updates…"), parent);
    action->setMenuRole(QAction::ApplicationSpecificRole);
    checker->setParent(action);
    QObject::connect(action, &QAction::triggered, checker, &UpdateChecker::start);
    QPointer<QWidget> boxParent(dialogParent);
    QObject::connect(checker, &UpdateChecker::finished, action, [checker, boxParent] {
        const auto& result = *checker->result();
        const auto icon = result.kind == UpdateCheckResult::Kind::failed ? QMessageBox::Warning
                                                                         : QMessageBox::Information;
        auto* box =
            new QMessageBox(icon, QStringLiteral("Check for Updates"),
                            QString::fromStdString(result.text()), QMessageBox::Ok, boxParent);
        // Feed contents are shown as they are, never as markup; the link can be selected.
        box->setTextFormat(Qt::PlainText);
        box->setTextInteractionFlags(Qt::TextSelectableByMouse);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
    return action;
}

} // namespace

QAction* makeCheckForUpdatesAction(QObject* parent, QWidget* dialogParent) {
    return makeAction(parent, dialogParent, new UpdateChecker());
}

QAction* makeCheckForUpdatesAction(QObject* parent, QWidget* dialogParent,
                                   UpdateChecker::Settings settings) {
    return makeAction(parent, dialogParent, new UpdateChecker(std::move(settings)));
}

} // namespace vantery::app
