#include "vantery/ingest/AgentRoster.hpp"

#include <algorithm>
#include <dirent.h>
#include <nlohmann/json.hpp>

#include "base/FileIO.hpp"
#include "vantery/base/Text.hpp"

namespace vantery {

namespace {

constexpr std::string_view sessionPrefix = "session-";
// A roster lists a handful of members; a file far larger is not one, and is skipped.
constexpr std::uint64_t maxRosterBytes = 1u << 20;

std::optional<std::vector<std::string>> listNames(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return std::nullopt;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir)) {
        std::string_view n = e->d_name;
        if (n == "." || n == "..") continue;
        names.emplace_back(n);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::string> stringAt(const nlohmann::json& obj, const char* key) {
    auto it = obj.find(key);
    if (it == obj.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

} // namespace

Estimate<double> RosterCoverage::matchFraction() const {
    if (namedAgentsSeen < 1) return Estimate<double>::unknown(UnknownReason::noData());
    return Estimate<double>::known(static_cast<double>(namedAgentsMatched) /
                                   static_cast<double>(namedAgentsSeen));
}

void AgentRoster::load(const std::vector<SourceHome>& homes) {
    for (const SourceHome& home : homes) {
        auto names = listNames(home.teamsPath);
        if (!names) continue;
        for (const std::string& name : *names) {
            if (!std::string_view(name).starts_with(sessionPrefix)) continue;
            auto text =
                fileio::readWholeFile(home.teamsPath + "/" + name + "/config.json", maxRosterBytes);
            if (!text) continue;
            nlohmann::json doc = nlohmann::json::parse(*text, nullptr, false);
            if (doc.is_discarded() || !doc.is_object() || doc.empty()) continue;
            auto members = doc.find("members");
            if (members == doc.end() || !members->is_array()) continue;
            if (!std::all_of(members->begin(), members->end(),
                             [](const nlohmann::json& m) { return m.is_object(); }))
                continue;
            coverage_.rostersRead += 1;
            for (const nlohmann::json& member : *members) {
                if (member.empty()) continue;
                auto agentId = stringAt(member, "agentId");
                if (!agentId) continue;
                std::size_t at = agentId->find('@');
                if (at == std::string::npos) continue;
                std::string agentName = agentId->substr(0, at);
                std::string key = agentId->substr(at + 1);
                if (std::string_view(key).starts_with(sessionPrefix))
                    key.erase(0, sessionPrefix.size());
                if (agentName.empty() || key.empty()) continue;
                RosterEntry entry{agentName, stringAt(member, "agentType"),
                                  stringAt(member, "model"), stringAt(member, "cwd"), key};
                entries_.insert_or_assign(agentName + "@" + key, std::move(entry));
                coverage_.entriesLoaded += 1;
            }
        }
    }
}

std::optional<RosterEntry> AgentRoster::entry(const AgentIdentity& agent,
                                              const std::string& sessionId) const {
    if (agent.kind() != AgentIdentity::Kind::named) return std::nullopt;
    std::string key = agent.name() + "@" + std::string(text::prefixCharacters(sessionId, 8));
    auto it = entries_.find(key);
    if (it == entries_.end()) return std::nullopt;
    return it->second;
}

void AgentRoster::recordCoverage(const std::unordered_map<AgentIdentity, std::string>& agents) {
    for (const auto& [agent, sessionId] : agents) {
        switch (agent.kind()) {
        case AgentIdentity::Kind::named:
            coverage_.namedAgentsSeen += 1;
            if (entry(agent, sessionId)) coverage_.namedAgentsMatched += 1;
            break;
        case AgentIdentity::Kind::anonymous:
            coverage_.anonymousAgentsSeen += 1;
            break;
        case AgentIdentity::Kind::main:
            break;
        }
    }
}

} // namespace vantery
