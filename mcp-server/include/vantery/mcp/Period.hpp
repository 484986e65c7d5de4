#pragma once
// The span of local days a tool call covers, and the one error a tool refuses with.
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "vantery/base/Calendar.hpp"
#include "vantery/mcp/Json.hpp"

namespace vantery::mcp {

/// A refused argument; what() is the complete sentence the user reads.
class MCPError : public std::runtime_error {
  public:
    static MCPError bad(std::string message) { return MCPError(std::move(message)); }

  private:
    explicit MCPError(std::string message) : std::runtime_error(std::move(message)) {}
};

struct Period {
    std::optional<LocalDay> from;    ///< first day included; absent for all history
    std::optional<LocalDay> through; ///< last day included; absent for all history
    std::string label;
    bool includesToday = false; ///< the last day is today or later: the figure is not final
    bool isSingleDay = false;   ///< one day: the hour breakdown applies

    /// All history: no bounds, "all history", includes today, not a single day.
    static Period all();

    /// The period of a tool call's "from"/"to"/"period" arguments, days taken in
    /// `calendar` with today being the day of `now`. `defaultPeriod` applies when
    /// "period" is absent. Throws MCPError with the sentence for the user.
    static Period parse(const Json& arguments, std::string_view defaultPeriod,
                        const Calendar& calendar, double now);

    friend bool operator==(const Period&, const Period&) = default;
};

} // namespace vantery::mcp
