#pragma once
// The agent, project and session a tool call narrows to, kept as what they name and
// turned into a test on rows once per query, so that testing a row compares ids only.
#include <functional>
#include <string>
#include <vector>

#include "vantery/model/AgentIdentity.hpp"
#include "vantery/model/RequestTable.hpp"
#include "vantery/report/Aggregator.hpp"
#include "vantery/report/ProjectResolver.hpp"

namespace vantery::mcp {

/// Chooses requests; an empty filter keeps every one. A value: copies share what they
/// name. Bind it to the dictionary the rows refer to before testing rows.
class RecordFilter {
  public:
    using RowFilter = Aggregator::RowFilter;
    /// Makes the row test for rows whose ids refer to the dictionary given.
    using Binder = std::function<RowFilter(const RequestDictionary& dictionary)>;

    RecordFilter() = default;
    explicit RecordFilter(Binder binder) : binder_(std::move(binder)) {}

    /// The requests of exactly this agent (the main session included).
    static RecordFilter agent(AgentIdentity agent);
    /// The requests of exactly this session id.
    static RecordFilter session(std::string sessionId);
    /// The requests whose working directory, resolved alone, gives this project label.
    static RecordFilter project(std::string label, ProjectResolver resolver);
    /// The requests that every one of `filters` keeps; empty ones keep all.
    static RecordFilter allOf(std::vector<RecordFilter> filters);

    explicit operator bool() const noexcept { return static_cast<bool>(binder_); }

    /// The test for rows whose ids refer to `dictionary`, with every text looked up
    /// once here; empty when the filter is. Ids interned after binding are never kept.
    /// The test only reads, so it may run on several threads at once.
    RowFilter bind(const RequestDictionary& dictionary) const;

  private:
    Binder binder_;
};

} // namespace vantery::mcp
