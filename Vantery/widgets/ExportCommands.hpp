#pragma once
// The File menu's export commands: "Export CSV…", "Export Every Breakdown…" and
// "Copy Summary", for the store's published range report.
#include <QMenu>
#include <QWidget>

#include "model/UsageStore.hpp"

namespace vantery::app {

/// Adds the three items to `fileMenu` (shortcuts Ctrl+E, Ctrl+Shift+E, Ctrl+Shift+C; Command
/// on macOS). They are enabled only while the published range report holds a request, no
/// range computes and no export runs (ExportRunner::canStart). Dialogs open over
/// `dialogParent`; the texts are built and written on a worker; a failed export shows its
/// message in a warning box, success and cancel stay silent. The store must outlive the menu.
void installExportCommands(QMenu* fileMenu, UsageStore& store, QWidget* dialogParent);

} // namespace vantery::app
