#pragma once
// How one report's projects, sessions and agents print, and the way back from what was
// printed to the items it was printed for. The answers print through it and the lookups
// read it, so every printed label comes back; it is worked out once per report, so a
// lookup cleans no label but the query.
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "vantery/model/AgentIdentity.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::mcp {

class NameIndex {
  public:
    /// A name as printed and as compared. Items whose cleaned names are equal would print
    /// alike: each of them prints its quoted name instead (text::quotedName), which tells
    /// it apart and is compared exactly.
    struct Forms {
        std::string plain;    ///< cleaned, without blanks at either end
        std::string plainKey; ///< plain in lower case
        std::string shown;    ///< what answers print: plain, or the quoted name when shared
        std::string shownKey; ///< shown in lower case
        bool shared = false;  ///< another item of the axis has the same plain form
    };

    /// Projects or sessions: the report's keys in its order, with their forms.
    struct Labels {
        std::vector<std::string> items;
        std::vector<Forms> forms;
        /// The items each plain key stands for.
        std::unordered_map<std::string, std::vector<std::uint32_t>> byPlainKey;
        /// The shared items by their quoted names.
        std::unordered_map<std::string, std::uint32_t> byQuoted;
        /// The shared items' quoted names, by item.
        std::unordered_map<std::string, std::string> quoted;
        /// The text answers print for an item (before AnswerText::name or fit): the item
        /// itself, or its quoted name when shared.
        std::string shown(const std::string& item) const;
    };

    /// One agent with the keys every lookup compares: its raw id and its name (empty
    /// for the anonymous) as printed, in lower case. Its other forms are printed by a
    /// lookup only for the agents whose keys fit the query: at ten million requests a
    /// history holds about a million agents.
    struct Agent {
        AgentIdentity id;
        std::string_view rawKey, nameKey; ///< into the agent's own texts or the index
        bool shared = false;              ///< its full text quotes its raw id (see agentText)
    };

    /// A printed text as a person reads it back: cleaned (isolates go too), without
    /// blanks at either end.
    static std::string printed(std::string_view s);

    /// The index of a report, which it keeps.
    explicit NameIndex(std::shared_ptr<const Report> report);
    /// The index of a report that outlives it.
    explicit NameIndex(const Report& report);

    const Report& report() const noexcept { return *report_; }

    /// Each part is worked out on first use: an answer that prints a few agents compares
    /// only the agents that could print alike, and a lookup of a project cleans no session.
    const Labels& projects() const;
    const Labels& sessions() const;
    /// The report's agents in its order; the main session among them when it has one.
    const std::vector<Agent>& agents() const;

    /// The full text answers print for an agent: AnswerText::agent, with the raw id quoted
    /// when another agent of the report prints the same.
    std::string agentText(const AgentIdentity& agent) const;

  private:
    /// The agents whose full texts another agent prints as well.
    const std::unordered_set<AgentIdentity>& sharedAgents() const;

    std::shared_ptr<const Report> report_;
    mutable std::once_flag projectsOnce_, sessionsOnce_, agentsOnce_, sharedOnce_;
    mutable Labels projects_, sessions_;
    mutable std::vector<Agent> agents_;
    mutable std::deque<std::string> agentKeys_; // the keys that differ from their texts
    mutable std::unordered_set<AgentIdentity> shared_;
};

} // namespace vantery::mcp
