#include "vantery/model/UsageRecord.hpp"

#include "vantery/base/Saturating.hpp"

namespace vantery {

SourceHome::SourceHome(std::string n, const std::string& home)
    : name(std::move(n)), projectsPath(home + "/" + name + "/projects"),
      teamsPath(home + "/" + name + "/teams") {}

std::vector<SourceHome> SourceHome::defaults(const std::string& home) {
    return {SourceHome(".claude", home), SourceHome(".claude-work", home),
            SourceHome(".claude-outlook", home), SourceHome(".claude-yahoo", home)};
}

std::vector<std::string> SourceHome::defaultNames() {
    std::vector<std::string> names;
    for (const SourceHome& h : defaults(""))
        names.push_back(h.name);
    return names;
}

void ScanDiagnostics::merge(const ScanDiagnostics& o) {
    filesScanned = satAdd(filesScanned, o.filesScanned);
    filesUnreadable.insert(filesUnreadable.end(), o.filesUnreadable.begin(),
                           o.filesUnreadable.end());
    bytesRead += o.bytesRead;
    accumulate(o);
    if (longestLineBytes < o.longestLineBytes) {
        longestLineBytes = o.longestLineBytes;
        longestLinePath = o.longestLinePath;
    }
    for (const auto& [home, count] : o.perHome)
        perHome[home] = satAdd(perHome[home], count);
}

} // namespace vantery
