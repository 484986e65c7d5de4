#pragma once
// Texts handed to Qt: every string the app builds or reads from transcripts is UTF-8.
#include <QString>

#include <string_view>

namespace vantery::app {

/// A UTF-8 text as a QString.
inline QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace vantery::app
