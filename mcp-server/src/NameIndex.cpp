#include "vantery/mcp/NameIndex.hpp"

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
    return l;
}

} // namespace

std::string NameIndex::printed(std::string_view s) {
    return std::string(text::trimmed(text::cleanedName(s)));
}

std::string NameIndex::Labels::shown(const std::string& item) const {
    auto it = quoted_.find(item);
    return it == quoted_.end() ? item : it->second;
}

NameIndex::NameIndex(const Report& report)
    : NameIndex(std::shared_ptr<const Report>(std::shared_ptr<const Report>(), &report)) {}

NameIndex::NameIndex(std::shared_ptr<const Report> kept)
    : report_(std::move(kept)), projects_(labelsOf(report_->byProject)),
      sessions_(labelsOf(report_->bySession)) {
    const Report& report = *report_;
    for (Labels* l : {&projects_, &sessions_}) {
        std::vector<Forms*> forms;
        for (Forms& f : l->forms)
            forms.push_back(&f);
        markShared(forms, [&](std::size_t i) { return text::quotedName(l->items[i]); });
        for (std::uint32_t i = 0; i < l->items.size(); ++i) {
            l->byPlainKey[l->forms[i].plainKey].push_back(i);
            if (!l->forms[i].shared) continue;
            l->byQuoted.emplace(l->forms[i].shown, i);
            l->quoted_.emplace(l->items[i], l->forms[i].shown);
        }
    }

    const AgentBuckets& byAgent = report.byAgent;
    agents_.reserve(byAgent.size());
    for (std::size_t i = 0; i < byAgent.size(); ++i) {
        const AgentIdentity& a = byAgent.agent(i);
        agents_.push_back({a, formsOf(AnswerText::agent(a)), formsOf(a.rawIdText()),
                           formsOf(a.kind() == AgentIdentity::Kind::named ? a.name() : ""),
                           formsOf(AnswerText::agentLabel(a))});
        agentAt_.emplace(a, static_cast<std::uint32_t>(i));
    }
    std::vector<Forms*> full;
    for (Agent& a : agents_)
        full.push_back(&a.full);
    markShared(full, [&](std::size_t i) { return AnswerText::agent(agents_[i].id, true); });
    // The raw id in brackets, as the full text shows it.
    for (Agent& a : agents_)
        if (a.full.shared) {
            a.raw.shown = printed(text::quotedName(a.id.rawIdText()));
            a.raw.shownKey = text::lowercased(a.raw.shown);
        }
}

std::string NameIndex::agentText(const AgentIdentity& agent) const {
    auto it = agentAt_.find(agent);
    const bool quoted = it != agentAt_.end() && agents_[it->second].full.shared;
    return AnswerText::agent(agent, quoted);
}

} // namespace vantery::mcp
