#include "vantery/model/UsageRecord.hpp"

#include "vantery/base/Saturating.hpp"

namespace vantery {

std::int64_t UsageRecord::totalTokens() const noexcept {
    return satAdd(satAdd(satAdd(satAdd(input, output), cacheWrite5m), cacheWrite1h), cacheRead);
}

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

std::int64_t ScanDiagnostics::totalRejected() const noexcept {
    return satAdd(
        satAdd(satAdd(linesRejectedInvalidJSON, linesRejectedNoMessage), linesRejectedNoTimestamp),
        linesRejectedNoIdentity);
}

void ScanDiagnostics::merge(const ScanDiagnostics& o) {
    filesScanned = satAdd(filesScanned, o.filesScanned);
    filesUnreadable.insert(filesUnreadable.end(), o.filesUnreadable.begin(),
                           o.filesUnreadable.end());
    bytesRead += o.bytesRead;
    usageLinesSeen = satAdd(usageLinesSeen, o.usageLinesSeen);
    linesRejectedInvalidJSON = satAdd(linesRejectedInvalidJSON, o.linesRejectedInvalidJSON);
    linesRejectedNoMessage = satAdd(linesRejectedNoMessage, o.linesRejectedNoMessage);
    linesNotUsageBearing = satAdd(linesNotUsageBearing, o.linesNotUsageBearing);
    linesRejectedNoTimestamp = satAdd(linesRejectedNoTimestamp, o.linesRejectedNoTimestamp);
    linesRejectedNoIdentity = satAdd(linesRejectedNoIdentity, o.linesRejectedNoIdentity);
    linesSkippedZeroUsage = satAdd(linesSkippedZeroUsage, o.linesSkippedZeroUsage);
    if (longestLineBytes < o.longestLineBytes) {
        longestLineBytes = o.longestLineBytes;
        longestLinePath = o.longestLinePath;
    }
    for (const auto& [home, count] : o.perHome)
        perHome[home] = satAdd(perHome[home], count);
}

} // namespace vantery
