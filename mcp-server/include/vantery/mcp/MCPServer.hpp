#pragma once
// The server value: the nine tools, their dispatch and the pieces every answer
// is laid out with.
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vantery/base/Version.hpp"
#include "vantery/mcp/DataSource.hpp"
#include "vantery/mcp/Json.hpp"
#include "vantery/mcp/Period.hpp"
#include "vantery/report/Bucket.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::mcp {

struct ProvenanceMemo;

class MCPServer {
  public:
    /// The record predicate of the agent, project and session arguments.
    struct Filters {
        RecordFilter predicate;             ///< empty when no filter was given
        std::vector<std::string> described; ///< one text per filter, agent, project, session
    };

    /// A tool's answer: its text, and whether it is an error.
    struct ToolAnswer {
        std::string text;
        bool isError = false;
    };

    explicit MCPServer(std::shared_ptr<DataSource> data) : data(std::move(data)) {}

    std::string serverName = "vantery";
    std::string serverVersion{vantery::version};
    std::shared_ptr<DataSource> data;

    /// The nine tool descriptions, in table order, properties in declaration order.
    static Json tools();
    /// The property object of a `period` argument with its default named.
    static Json periodProp(std::string_view defaultPeriod);

    /// Runs the named tool (exact, case-sensitive name). Never throws: refusals
    /// and failures come back as text with isError set.
    ToolAnswer callTool(std::string_view name, const Json& arguments);

    /// The filters of "agent", "project" and "session_id", resolved against all
    /// history. Throws MCPError when one matches nothing or several things.
    Filters buildFilters(const Json& arguments);

    /// The period of a call's arguments, today being the data source's today.
    Period period(const Json& arguments, std::string_view defaultPeriod) const;

    /// Title line, and the filters line when filters are set.
    std::string header(std::string_view title, const Period& period, const Filters& filters) const;
    /// One bucketLine (label width 34) per item, or "  unknown — <empty>".
    static std::string list(const std::vector<std::pair<std::string, Bucket>>& items,
                            std::string_view empty);
    /// The closing block: the period note, the unpriced and assumed notes, the disclaimer.
    std::string footer(const Report& report, const Period& period) const;
    /// The name of the first home whose projects folder prefixes the path; "unknown".
    std::string homeName(std::string_view path) const;

    // The nine handlers, one source file each under src/tools/.
    std::string overview(const Json& arguments);
    std::string cost(const Json& arguments);
    std::string topAgents(const Json& arguments);
    std::string topProjects(const Json& arguments);
    std::string byModel(const Json& arguments);
    std::string session(const Json& arguments);
    std::string agent(const Json& arguments);
    std::string provenance(const Json& arguments);
    std::string sources(const Json& arguments);

  private:
    /// The per-file figures of the last unfiltered provenance answer, reused while
    /// the cached files and the period are the same.
    std::shared_ptr<ProvenanceMemo> provenanceMemo_;
};

} // namespace vantery::mcp
