#pragma once
// Builds reports from a table of requests: prices each request on its local day and
// sums it into every breakdown.
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "vantery/base/Calendar.hpp"
#include "vantery/model/AgentIdentity.hpp"
#include "vantery/model/RequestTable.hpp"
#include "vantery/model/UsageRecord.hpp"
#include "vantery/report/Bucket.hpp"
#include "vantery/report/DateRange.hpp"
#include "vantery/report/ProjectResolver.hpp"
#include "vantery/report/Report.hpp"

namespace vantery {

/// Builds reports in one time zone with one project resolver. Immutable; aggregations
/// may run on several threads at once.
class Aggregator {
  public:
    Aggregator(Calendar calendar, ProjectResolver resolver)
        : calendar_(std::move(calendar)), resolver_(std::move(resolver)) {}

    const Calendar& calendar() const noexcept { return calendar_; }
    const ProjectResolver& resolver() const noexcept { return resolver_; }

    /// The local day of an instant in the aggregator's calendar.
    LocalDay day(double instant) const { return calendar_.dayOf(instant); }

    /// Chooses rows of a table; ids compare against the table's dictionary.
    using RowFilter = std::function<bool(const RequestRow&)>;

    /// The report of the requests whose local day lies in [from, to]; an absent bound is
    /// no bound. Each request is priced on its own local day; every sum runs in the
    /// table's order. Hours are filled only when asked for.
    Report aggregate(const RequestTable& table, std::optional<LocalDay> from,
                     std::optional<LocalDay> to, const ScanDiagnostics& diagnostics,
                     bool includeHours) const;
    /// The same over only the rows that `keep` accepts (every row when it is empty), as
    /// if the others had been left out of the table; nothing is copied. `keep` may be
    /// called from several threads at once.
    Report aggregate(const RequestTable& table, std::optional<LocalDay> from,
                     std::optional<LocalDay> to, const ScanDiagnostics& diagnostics,
                     bool includeHours, const RowFilter& keep) const;

    /// The agents of each of several groups of the requests whose local day lies in
    /// [from, to]: for every group, the same buckets as the byAgent of aggregate()
    /// over only that group's requests. `groupOf` names a row's group (below
    /// `groups`), or none to leave it out; it may be called from several threads at
    /// once. One pass; nothing is copied.
    std::vector<AgentBuckets> agentsPerGroup(
        const RequestTable& table, std::optional<LocalDay> from, std::optional<LocalDay> to,
        std::size_t groups,
        const std::function<std::optional<std::size_t>(const RequestRow&)>& groupOf) const;

    /// The report of a range; an absent includeHours means "only for a single day".
    Report report(const RequestTable& table, const DateRange& range,
                  const ScanDiagnostics& diagnostics,
                  std::optional<bool> includeHours = std::nullopt) const;

    /// The report of a selection resolved on the day of `now`; hours for a single day only.
    Report report(const RequestTable& table, const RangeSelection& selection, double now,
                  const ScanDiagnostics& diagnostics) const;

    /// Adapters for small callers and tests: the same over a table of these records,
    /// in this order (RequestTable::fromRecords).
    Report aggregate(std::span<const UsageRecord> records, std::optional<LocalDay> from,
                     std::optional<LocalDay> to, const ScanDiagnostics& diagnostics,
                     bool includeHours) const;
    Report report(std::span<const UsageRecord> records, const DateRange& range,
                  const ScanDiagnostics& diagnostics,
                  std::optional<bool> includeHours = std::nullopt) const;

  private:
    Calendar calendar_;
    ProjectResolver resolver_;
};

} // namespace vantery
