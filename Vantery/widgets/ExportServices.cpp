#include "widgets/ExportServices.hpp"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QStandardPaths>

#include <memory>

namespace vantery::app {

namespace {

QString startFolder() {
    const auto documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QDir(documents).exists() ? documents : QDir::homePath();
}

std::optional<std::string> chosen(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const auto files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
    return files.front().toStdString();
}

} // namespace

std::optional<std::string> QtExportDialogs::chooseCSVFile(const std::string& suggestedName,
                                                          const std::string& message) {
    QFileDialog dialog(parent_, QString::fromStdString(message), startFolder());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("Comma-separated values (*.csv)"));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.selectFile(QString::fromStdString(suggestedName));
    return chosen(dialog);
}

std::optional<std::string> QtExportDialogs::chooseFolder(const std::string& prompt,
                                                         const std::string& message) {
    QFileDialog dialog(parent_, QString::fromStdString(message), startFolder());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setLabelText(QFileDialog::Accept, QString::fromStdString(prompt));
    return chosen(dialog);
}

bool QtClipboard::setText(const std::string& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return false;
    const auto qtext = QString::fromStdString(text);
    clipboard->setText(qtext);
    return clipboard->text() == qtext;
}

ExportServices desktopExportServices(QWidget* dialogParent) {
    return {std::make_shared<QtExportDialogs>(dialogParent), std::make_shared<QtClipboard>(),
            std::make_shared<AtomicFileWriter>()};
}

} // namespace vantery::app
