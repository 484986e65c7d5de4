#pragma once
// Export services for tests: dialogs that answer what the test set, a clipboard that may
// refuse, and the real atomic writer failing on a chosen call.
#include <QFileInfo>
#include <QString>

#include <optional>
#include <string>
#include <vector>

#include "model/ExportController.hpp"

namespace vantery::app::testing {

struct FakeDialogs : ExportDialogs {
    std::optional<std::string> file, folder; ///< the answers; absent cancels
    std::string suggestedName, message, prompt;
    int asked = 0;
    std::optional<std::string> chooseCSVFile(const std::string& name,
                                             const std::string& msg) override {
        ++asked;
        suggestedName = name, message = msg;
        return file;
    }
    std::optional<std::string> chooseFolder(const std::string& p, const std::string& msg) override {
        ++asked;
        prompt = p, message = msg;
        return folder;
    }
};

struct FakeClipboard : ClipboardSink {
    bool accepts = true;
    std::string text = "what the user had";
    bool setText(const std::string& t) override {
        if (accepts) text = t;
        return accepts;
    }
};

/// The real writer, failing with "disk full" on the n-th call (never when 0).
struct CountingWriter : FileWriter {
    AtomicFileWriter real;
    int failOn = 0;
    std::vector<std::string> names; ///< the file names asked for, in order
    std::optional<std::string> write(const std::string& path, std::string_view contents) override {
        names.push_back(QFileInfo(QString::fromStdString(path)).fileName().toStdString());
        if (static_cast<int>(names.size()) == failOn) return std::string("disk full");
        return real.write(path, contents);
    }
};

} // namespace vantery::app::testing
