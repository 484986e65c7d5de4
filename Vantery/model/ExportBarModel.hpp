#pragma once
// The Date range tab's export bar: its three buttons, whether they can be pressed, and
// the note on the last export.
#include <optional>
#include <string>
#include <vector>

#include "model/ExportController.hpp"

namespace vantery::app {

struct ExportButton {
    ExportOperation operation;
    std::string label; ///< "Export CSV…"
    std::string tooltip;
    bool prominent = false; ///< the first button stands out
};

/// The note under the buttons. It keeps the text of the last export that had a message;
/// a cancelled export keeps the text and only clears the failure colour.
struct ExportNote {
    std::optional<std::string> text;
    bool failed = false;

    void record(const ExportController::Outcome& outcome);
};

struct ExportBarModel {
    std::vector<ExportButton> buttons; ///< in bar order
    /// Whether the buttons can be pressed: not while a range computes, so that an export
    /// never names one period and holds another's figures, nor while an export runs.
    bool enabled = false;
    std::optional<std::string> note;
    bool noteFailed = false; ///< red when true, the secondary colour otherwise
};

/// `available` is ExportRunner::canStart() of the store's runner (ExportRunner.hpp).
ExportBarModel buildExportBar(const ExportNote& note, bool available);

} // namespace vantery::app
