#include "model/StatusBarModel.hpp"

#include "model/Fmt.hpp"

namespace vantery::app::StatusBarModel {

std::string freshness(const UsageStore::LoadState& state, std::optional<double> lastRefresh,
                      double now) {
    if (state.isScanning()) return state.message;
    if (lastRefresh) return "updated " + Fmt::ago(*lastRefresh, now);
    return "not scanned yet";
}

Texts build(const UsageStore::LoadState& state, std::optional<double> lastRefresh,
            const std::optional<std::string>& shippedVersion, double now) {
    Texts texts{.name = "Vantery",
                .version = {},
                .separator = "\u00b7",
                .freshness = freshness(state, lastRefresh, now)};
    if (shippedVersion && !shippedVersion->empty()) texts.version = "v" + *shippedVersion;
    return texts;
}

std::optional<std::string> progress(const UsageStore::LoadState& state) {
    if (state.isScanning()) return state.message;
    return std::nullopt;
}

} // namespace vantery::app::StatusBarModel
