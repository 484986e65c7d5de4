#pragma once
// Runs the exports of the store's published range report one at a time: the dialogs on
// the GUI thread, the texts and files on the app's thread pool, the clipboard and the
// outcome back on the GUI thread, so the window keeps answering while a large report
// is exported.
#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "model/ExportController.hpp"

namespace vantery::app {

class UsageStore;

/// What an export talks to. The dialogs are asked and the clipboard is set on the GUI
/// thread; the writer is used on a worker, which shares it until it is done.
struct ExportServices {
    std::shared_ptr<ExportDialogs> dialogs;
    std::shared_ptr<ClipboardSink> clipboard;
    std::shared_ptr<FileWriter> files;
};

class ExportRunner : public QObject {
    Q_OBJECT
  public:
    using Done = std::function<void(const ExportController::Outcome&)>;

    /// The store's one runner, a child of the store made on first use: the File menu and
    /// the Date range tab share it, so that no second export starts while one runs.
    static ExportRunner& of(UsageStore& store);

    /// Whether an export has been started and has not ended yet (its dialog included).
    bool isRunning() const noexcept { return running_; }
    /// Why no export can start now (one is running, or exportsUnavailable() of the
    /// store's range report); nothing when one can.
    std::optional<std::string> unavailable() const;
    bool canStart() const { return !unavailable(); }

    /// Exports the store's published range report. Does nothing unless canStart(). Asks
    /// where it goes first, here; a cancelled dialog calls `done(cancelled)` at once and
    /// starts no work. Otherwise the texts are built and written on a worker and `done`
    /// gets the outcome later, on this thread, after the clipboard took a summary;
    /// `done` is skipped when `context` is gone by then, and nothing at all is handed
    /// back once the store is gone.
    void start(ExportOperation operation, const ExportServices& services, QObject* context,
               Done done);

  signals:
    /// isRunning() changed.
    void runningChanged();

  private:
    explicit ExportRunner(UsageStore& store);
    void setRunning(bool running);

    UsageStore& store_;
    bool running_ = false;
};

} // namespace vantery::app
