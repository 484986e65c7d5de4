#include "model/ProductPage.hpp"

#include "vantery/base/Version.hpp"

namespace vantery::app::ProductPage {

std::optional<std::string> shippedVersion() {
    if (vantery::version.empty()) return std::nullopt;
    return std::string(vantery::version);
}

} // namespace vantery::app::ProductPage
