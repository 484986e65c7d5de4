#pragma once
// Agent rosters of Claude Code team sessions: what the transcripts do not say
// about a named sub-agent (type, model, working directory).
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "vantery/model/AgentIdentity.hpp"
#include "vantery/model/Estimate.hpp"
#include "vantery/model/UsageRecord.hpp"

namespace vantery {

/// One member of a team roster.
struct RosterEntry {
    std::string name;
    std::optional<std::string> agentType;
    std::optional<std::string> model;
    std::optional<std::string> cwd;
    std::string sessionId; ///< the roster's session key, without "session-"

    friend bool operator==(const RosterEntry&, const RosterEntry&) = default;
};

/// How far the rosters could enrich the named agents seen.
struct RosterCoverage {
    std::int64_t rostersRead = 0;
    std::int64_t entriesLoaded = 0;
    std::int64_t namedAgentsSeen = 0;
    std::int64_t namedAgentsMatched = 0;
    std::int64_t anonymousAgentsSeen = 0;

    /// namedAgentsMatched / namedAgentsSeen; unknown(noData) when none was seen.
    Estimate<double> matchFraction() const;
};

/// Roster entries keyed by agent name and session key. Reads only; every broken
/// or missing roster file is skipped silently.
class AgentRoster {
  public:
    AgentRoster() = default;

    /// Adds the entries of every `<teamsPath>/session-*/config.json` of the homes.
    void load(const std::vector<SourceHome>& homes);

    /// The entry of a named agent in a session (matched on the session id's first
    /// 8 characters); absent for the main session and anonymous agents.
    std::optional<RosterEntry> entry(const AgentIdentity& agent,
                                     const std::string& sessionId) const;

    /// Counts the named and anonymous agents (each with its session id) and the
    /// named ones that have an entry. Adds to the counters; never resets them.
    void recordCoverage(const std::unordered_map<AgentIdentity, std::string>& agents);

    const RosterCoverage& coverage() const noexcept { return coverage_; }

  private:
    std::unordered_map<std::string, RosterEntry> entries_;
    RosterCoverage coverage_;
};

} // namespace vantery
