#include "vantery/mcp/RecordFilter.hpp"

#include <cstdint>
#include <memory>
#include <optional>

namespace vantery::mcp {
namespace {

// A text that is not in the dictionary is on no row.
RecordFilter::RowFilter keepNone() {
    return [](const RequestRow&) { return false; };
}

} // namespace

RecordFilter RecordFilter::agent(AgentIdentity agent) {
    return RecordFilter([agent = std::move(agent)](const RequestDictionary& d) -> RowFilter {
        const std::optional<std::uint32_t> id = d.findAgent(agent);
        if (!id) return keepNone();
        return [id = *id](const RequestRow& row) { return row.agent == id; };
    });
}

RecordFilter RecordFilter::session(std::string sessionId) {
    return RecordFilter(
        [sessionId = std::move(sessionId)](const RequestDictionary& d) -> RowFilter {
            const std::optional<std::uint32_t> id = d.findSession(sessionId);
            if (!id) return keepNone();
            return [id = *id](const RequestRow& row) { return row.session == id; };
        });
}

RecordFilter RecordFilter::project(std::string label, ProjectResolver resolver) {
    return RecordFilter([label = std::move(label),
                         resolver = std::move(resolver)](const RequestDictionary& d) -> RowFilter {
        // Each directory is resolved once, here, never per row.
        const std::size_t cwds = d.sizes().cwds;
        auto allowed = std::make_shared<std::vector<char>>(cwds, 0);
        for (std::size_t i = 0; i < cwds; ++i)
            (*allowed)[i] =
                resolver.resolve(d.cwd(static_cast<std::uint32_t>(i))).canonical == label;
        return [allowed = std::move(allowed)](const RequestRow& row) {
            return row.cwd < allowed->size() && (*allowed)[row.cwd] != 0;
        };
    });
}

RecordFilter RecordFilter::allOf(std::vector<RecordFilter> filters) {
    std::erase_if(filters, [](const RecordFilter& f) { return !f; });
    if (filters.empty()) return {};
    if (filters.size() == 1) return std::move(filters.front());
    return RecordFilter([filters = std::move(filters)](const RequestDictionary& d) -> RowFilter {
        std::vector<RowFilter> tests;
        tests.reserve(filters.size());
        for (const RecordFilter& p : filters)
            tests.push_back(p.bind(d));
        return [tests = std::move(tests)](const RequestRow& row) {
            for (const RowFilter& t : tests)
                if (!t(row)) return false;
            return true;
        };
    });
}

RecordFilter::RowFilter RecordFilter::bind(const RequestDictionary& dictionary) const {
    if (!binder_) return {};
    return binder_(dictionary);
}

} // namespace vantery::mcp
