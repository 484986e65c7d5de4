// vant_sources: the health of the measurement, to read before relying on a figure.
#include <cstdio>
#include <filesystem>
#include <unordered_map>

#include "vantery/mcp/AnswerText.hpp"
#include "vantery/mcp/MCPServer.hpp"
#include "vantery/report/Derived.hpp"

namespace vantery::mcp {
namespace {

std::string seconds(double s) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", s);
    return buf;
}

bool onDisk(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

} // namespace

std::string MCPServer::sources(const Json& arguments) {
    (void)arguments; // takes none
    const double now = data->now();
    const ScanCache::RefreshStats& fresh = data->ensureFresh();
    // This answer tells whether the cache is kept: it does not leave that to after it
    // (keepCache notes a refusal in these same statistics).
    data->keepCache();
    const ScanCache::RefreshStats stats = fresh;
    const std::shared_ptr<const Report> all = data->history();
    const Report& history = *all;
    const ScanDiagnostics& d = data->diagnostics();
    const Calendar& cal = data->calendar();

    std::string s =
        "Sources and the health of the measurement \u2014 " + AnswerText::stamp(now, cal) + "\n";
    s += AnswerText::rule;
    s += "CLAUDE HOMES\n";
    static const Bucket none;
    for (const SourceHome& home : data->homes()) {
        s += "  " + AnswerText::fit(home.name, 18);
        if (!onDisk(home.projectsPath)) {
            s += " not on disk (" + AnswerText::name(home.projectsPath) +
                 ") \u2014 normal if you do not use that account\n";
            continue;
        }
        auto files = d.perHome.find(home.name);
        auto bucket = history.bySource.find(home.name);
        const Bucket& b = bucket == history.bySource.end() ? none : bucket->second;
        s += ' ';
        s += files == d.perHome.end() ? std::string("unknown")
                                      : AnswerText::noun(files->second, "file", "files");
        s += " \u00b7 " + AnswerText::cost(b) + " \u00b7 " +
             AnswerText::noun(b.requests, "request", "requests") + " \u00b7 " +
             AnswerText::span(b, cal) + "\n";
    }

    s += "\nSCAN\n";
    s += "  files scanned         " + AnswerText::count(d.filesScanned) + "\n";
    s += "  unified requests      " + AnswerText::count(d.uniqueRequests) + "\n";
    s += "  usage lines           " + AnswerText::count(d.usageLines) + "\n";
    s += "  lines rejected total  " + AnswerText::count(d.totalRejected()) + "\n";
    s += "  longest line          " + AnswerText::count(d.longestLineBytes) + " bytes";
    if (!d.longestLinePath.empty()) s += " \u2014 " + data->shortened(d.longestLinePath);
    s += "\n";
    s += "  unreadable files      " +
         AnswerText::count(static_cast<std::int64_t>(d.filesUnreadable.size())) + "\n";
    for (std::size_t i = 0; i < d.filesUnreadable.size() && i < 10; ++i)
        s += "      " + data->shortened(d.filesUnreadable[i]) + "\n";
    s += "  last read took        " + seconds(d.duration) + " s\n";

    s += "\nINCREMENTAL CACHE\n";
    s += "  file     " + data->shortened(data->cache().cachePath()) + "\n";
    if (!stats.cacheNotKept.empty()) s += "  NOT KEPT: " + stats.cacheNotKept + "\n";
    s += "  at the last refresh: " + AnswerText::count(stats.filesUnchanged) +
         " unchanged \u00b7 " + AnswerText::count(stats.filesGrown) + " grown \u00b7 " +
         AnswerText::count(stats.filesNew) + " new \u00b7 " +
         AnswerText::count(stats.filesRewound) + " re-read in full \u00b7 " +
         AnswerText::count(stats.filesGone) + " gone\n";
    s += "  files left untouched " + AnswerText::fractionEst(stats.savedFraction()) +
         " of the total\n";
    s += std::string("  started from cache: ") +
         (stats.fromCache ? "yes" : "no \u2014 first full scan") + "\n";
    s += "  NOTE: the full cache verification (a scan from scratch, then a comparison) runs from "
         "the app, not from here \u2014 the bridge must not block for 17 s.\n";

    // A copy, so that the counters of the process's roster never accumulate.
    AgentRoster roster = data->roster();
    roster.recordCoverage(std::unordered_map<AgentIdentity, std::string>(
        history.agentSession.begin(), history.agentSession.end()));
    const RosterCoverage& c = roster.coverage();
    s += "\nAGENT ROSTER (`teams/session-*/config.json`)\n";
    s += "  rosters read          " + AnswerText::count(c.rostersRead) + "\n";
    s += "  entries loaded        " + AnswerText::count(c.entriesLoaded) + "\n";
    s += "  named agents seen     " + AnswerText::count(c.namedAgentsSeen) +
         " (matched: " + AnswerText::count(c.namedAgentsMatched) + ")\n";
    s += "  anonymous agents      " + AnswerText::count(c.anonymousAgentsSeen) +
         " \u2014 they stay anonymous, no plausible name is invented for them\n";
    s += "  coverage              " + AnswerText::fractionEst(c.matchFraction()) +
         " of the named agents\n";

    s += "\n\u2014 " + std::string(Derived::disclaimer) + "\n";
    return s;
}

} // namespace vantery::mcp
