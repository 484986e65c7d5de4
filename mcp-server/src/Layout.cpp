// The shared pieces every tool answer is assembled from.
#include "vantery/mcp/AnswerText.hpp"
#include "vantery/mcp/MCPServer.hpp"
#include "vantery/report/Derived.hpp"

namespace vantery::mcp {

std::string MCPServer::header(std::string_view title, const Period& period,
                              const Filters& filters) const {
    std::string s = std::string(title) + " \u2014 " + period.label + "\n";
    if (!filters.described.empty()) {
        s += "filters: ";
        for (std::size_t i = 0; i < filters.described.size(); ++i) {
            if (i > 0) s += " \u00b7 ";
            s += filters.described[i];
        }
        s += "\n";
    }
    return s;
}

std::string MCPServer::list(const std::vector<std::pair<std::string, Bucket>>& items,
                            std::string_view empty) {
    if (items.empty()) return "  unknown \u2014 " + std::string(empty) + "\n";
    std::string s;
    for (const auto& [label, bucket] : items)
        s += AnswerText::bucketLine(label, bucket, 34) + "\n";
    return s;
}

std::string MCPServer::footer(const Report& report, const Period& period) const {
    std::string s = "\n";
    if (period.includesToday) s += "The period includes today \u2014 the figure is not final.\n";
    if (auto note = AnswerText::unpricedNote(report.total)) s += *note + "\n";
    if (auto note = AnswerText::assumedNote(report.total)) s += *note + "\n";
    s += "\u2014 " + std::string(Derived::disclaimer) + "\n";
    return s;
}

std::string MCPServer::homeName(std::string_view path) const {
    if (!data) return "unknown";
    for (const SourceHome& h : data->homes())
        if (path.substr(0, h.projectsPath.size()) == h.projectsPath) return h.name;
    return "unknown";
}

} // namespace vantery::mcp
