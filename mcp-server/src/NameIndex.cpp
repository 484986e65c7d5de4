#include "vantery/mcp/NameIndex.hpp"

#include <algorithm>

#include "vantery/base/Text.hpp"
#include "vantery/mcp/AnswerText.hpp"

namespace vantery::mcp {
namespace {

NameIndex::Forms formsOf(std::string_view answerText) {
    NameIndex::Forms f;
    f.plain = NameIndex::printed(answerText);
    f.plainKey = text::lowercased(f.plain);
    f.shown = f.plain;
    f.shownKey = f.plainKey;
    return f;
}

// Items whose plain forms are equal are shared: each shows `quoted(i)` instead.
template <class Forms, class Quoted> void markShared(std::vector<Forms*> forms, Quoted quoted) {
    std::unordered_map<std::string_view, std::size_t> first;
    first.reserve(forms.size());
    for (std::size_t i = 0; i < forms.size(); ++i)
        if (auto [at, fresh] = first.try_emplace(forms[i]->plain, i); !fresh)
            forms[i]->shared = forms[at->second]->shared = true;
    for (std::size_t i = 0; i < forms.size(); ++i)
        if (forms[i]->shared) {
            forms[i]->shown = NameIndex::printed(quoted(i));
            forms[i]->shownKey = text::lowercased(forms[i]->shown);
        }
}

NameIndex::Labels labelsOf(const std::map<std::string, Bucket, std::less<>>& buckets) {
    NameIndex::Labels l;
    l.items.reserve(buckets.size());
    l.forms.reserve(buckets.size());
    for (const auto& entry : buckets) {
        l.items.push_back(entry.first);
        l.forms.push_back(formsOf(entry.first));
    }
    std::vector<NameIndex::Forms*> forms;
    for (NameIndex::Forms& f : l.forms)
        forms.push_back(&f);
    markShared(forms, [&](std::size_t i) { return text::quotedName(l.items[i]); });
    for (std::uint32_t i = 0; i < l.items.size(); ++i) {
        l.byPlainKey[l.forms[i].plainKey].push_back(i);
        if (!l.forms[i].shared) continue;
        l.byQuoted.emplace(l.forms[i].shown, i);
        l.quoted.emplace(l.items[i], l.forms[i].shown);
    }
    return l;
}

} // namespace

std::string NameIndex::printed(std::string_view s) {
    return std::string(text::trimmed(text::cleanedName(s)));
}

std::string NameIndex::Labels::shown(const std::string& item) const {
    auto it = quoted.find(item);
    return it == quoted.end() ? item : it->second;
}

NameIndex::NameIndex(const Report& report)
    : NameIndex(std::shared_ptr<const Report>(std::shared_ptr<const Report>(), &report)) {}

NameIndex::NameIndex(std::shared_ptr<const Report> kept) : report_(std::move(kept)) {}

const NameIndex::Labels& NameIndex::projects() const {
    std::call_once(projectsOnce_, [&] { projects_ = labelsOf(report_->byProject); });
    return projects_;
}

const NameIndex::Labels& NameIndex::sessions() const {
    std::call_once(sessionsOnce_, [&] { sessions_ = labelsOf(report_->bySession); });
    return sessions_;
}

const std::unordered_set<AgentIdentity>& NameIndex::sharedAgents() const {
    std::call_once(sharedOnce_, [&] {
        // Agents whose name and raw id are printable ASCII print them as they are, so two
        // of them never print alike: only an agent with another character can print like
        // another agent, and only those and the agents printing like them are compared.
        auto ascii = [](std::string_view s) {
            return std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
        };
        const AgentBuckets& byAgent = report_->byAgent;
        std::unordered_map<std::string, std::vector<AgentIdentity>> byText;
        for (std::size_t i = 0; i < byAgent.size(); ++i) {
            const AgentIdentity& a = byAgent.agent(i);
            if (!ascii(a.rawIdText()) || !ascii(a.name()))
                byText[printed(AnswerText::agent(a))].push_back(a);
        }
        if (byText.empty()) return;
        for (std::size_t i = 0; i < byAgent.size(); ++i) {
            const AgentIdentity& a = byAgent.agent(i);
            if (!ascii(a.rawIdText()) || !ascii(a.name())) continue;
            if (auto it = byText.find(printed(AnswerText::agent(a))); it != byText.end())
                it->second.push_back(a);
        }
        for (const auto& [text, agents] : byText)
            if (agents.size() > 1) shared_.insert(agents.begin(), agents.end());
    });
    return shared_;
}

const std::vector<NameIndex::Agent>& NameIndex::agents() const {
    std::call_once(agentsOnce_, [&] {
        const AgentBuckets& byAgent = report_->byAgent;
        const auto& shared = sharedAgents();
        // Most ids are printable ASCII in lower case, their own keys: only the others
        // are kept apart.
        auto keyOf = [&](const std::string& s) -> std::string_view {
            const bool own =
                std::all_of(
                    s.begin(), s.end(),
                    [](char c) { return c >= 0x20 && c < 0x7F && !(c >= 'A' && c <= 'Z'); }) &&
                (s.empty() || (s.front() != ' ' && s.back() != ' '));
            if (own) return s;
            return agentKeys_.emplace_back(text::lowercased(printed(s)));
        };
        agents_.reserve(byAgent.size());
        for (std::size_t i = 0; i < byAgent.size(); ++i) {
            const AgentIdentity& a = byAgent.agent(i);
            const bool named = a.kind() == AgentIdentity::Kind::named;
            agents_.push_back({a, keyOf(a.rawIdText()),
                               named ? keyOf(a.name()) : std::string_view(),
                               !shared.empty() && shared.count(a) > 0});
        }
    });
    return agents_;
}

std::string NameIndex::agentText(const AgentIdentity& agent) const {
    const auto& shared = sharedAgents();
    return AnswerText::agent(agent, !shared.empty() && shared.count(agent) > 0);
}

} // namespace vantery::mcp
