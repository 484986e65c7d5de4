#include "model/ProductPage.hpp"

#include <string_view>

namespace vantery::app::ProductPage {

std::optional<std::string> shippedVersion() {
    constexpr std::string_view version = VANTERY_VERSION;
    if (version.empty()) return std::nullopt;
    return std::string(version);
}

} // namespace vantery::app::ProductPage
