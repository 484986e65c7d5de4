#include "model/MenuBarLabelModel.hpp"

#include <cmath>

#include "model/Fmt.hpp"

namespace vantery::app {

std::string compactDollars(double amount, Rounding rounding) {
    // Built by appending: g++ 12 warns about prepending to a temporary string.
    std::string out = "$";
    const bool bound = rounding != Rounding::nearest;
    if (amount >= 1000.0)
        return out
            .append(bound ? fixedDecimals(amount / 1000.0, 1, rounding)
                          : Fmt::fixed(amount / 1000.0, 1))
            .append("k");
    return out.append(bound ? fixedDecimals(amount, 0, rounding)
                            : std::to_string(std::llround(amount)));
}

MenuBarLabelModel buildMenuBarLabel(const UsageStore::LoadState& state, const Report& today) {
    MenuBarLabelModel m;
    if (!state.isReady()) {
        m.tooltip = state.isScanning() ? "Vantery \u2014 " + state.message : "Vantery";
        return m;
    }
    const CostEstimate& cost = today.total.cost;
    m.flame = false;
    m.lowerBound = cost.unpricedRequests != 0;
    // The sign stands right before the dollar sign, without a blank: ≥$13.
    m.text = m.lowerBound
                 ? std::string("\u2265").append(compactDollars(cost.priced, Rounding::down))
                 : compactDollars(cost.priced);
    // The icon holds only the compact form; the tooltip gives the exact amount.
    const std::int64_t requests = today.total.requests;
    m.tooltip = "Vantery \u2014 today " + cost.formatted() + " \u00b7 " + Fmt::exact(requests) +
                (requests == 1 ? " request" : " requests");
    return m;
}

} // namespace vantery::app
