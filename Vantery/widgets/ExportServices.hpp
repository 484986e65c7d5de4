#pragma once
// The export controller's services on the desktop: Qt's file dialogs and the system
// clipboard. The File menu and the Date range tab's export bar both use them.
#include <QPointer>
#include <QWidget>

#include "model/ExportRunner.hpp"

namespace vantery::app {

/// Modal QFileDialogs over the given parent window.
class QtExportDialogs final : public ExportDialogs {
  public:
    explicit QtExportDialogs(QWidget* parent) : parent_(parent) {}
    /// A save dialog for "*.csv" files, in the Documents folder, proposing the name.
    std::optional<std::string> chooseCSVFile(const std::string& suggestedName,
                                             const std::string& message) override;
    /// A folder dialog (folders may be created) whose accept button reads `prompt`.
    std::optional<std::string> chooseFolder(const std::string& prompt,
                                            const std::string& message) override;

  private:
    QPointer<QWidget> parent_;
};

/// QGuiApplication::clipboard(); the text counts as taken when the clipboard reads it back.
class QtClipboard final : public ClipboardSink {
  public:
    bool setText(const std::string& text) override;
};

/// The desktop's services: the dialogs above over `dialogParent`, the system clipboard
/// and the atomic file writer.
ExportServices desktopExportServices(QWidget* dialogParent);

} // namespace vantery::app
