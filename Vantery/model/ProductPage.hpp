#pragma once
// The version this build ships as.
#include <optional>
#include <string>

namespace vantery::app::ProductPage {

/// The project version the build was configured with ("0.5.3"); absent when the build
/// carries none.
std::optional<std::string> shippedVersion();

} // namespace vantery::app::ProductPage
