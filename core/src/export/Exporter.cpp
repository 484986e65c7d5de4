// The breakdown CSVs and what the three exported documents share: axes, date stamps,
// rows, cell escaping, cost cells and file names.
#include "vantery/export/Exporter.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <numeric>

#include <utf8proc.h>

#include "export/ExportParts.hpp"
#include "export/ExportText.hpp"
#include "vantery/base/Text.hpp"

namespace vantery {

using Parts = detail::ExportParts;

using exporttext::integer;

// ---- Axis ----

std::string_view Exporter::Axis::rawValue() const noexcept {
    switch (v_) {
    case project:
        return "project";
    case rawCwd:
        return "rawCwd";
    case session:
        return "session";
    case agent:
        return "agent";
    case model:
        return "model";
    case day:
        return "day";
    case hour:
        return "hour";
    case source:
        return "source";
    }
    return {};
}

std::string_view Exporter::Axis::columnValue() const noexcept {
    switch (v_) {
    case rawCwd:
        return "raw_cwd";
    case source:
        return "source_home";
    default:
        return rawValue();
    }
}

std::string_view Exporter::Axis::title() const noexcept {
    switch (v_) {
    case project:
        return "BY PROJECT";
    case rawCwd:
        return "BY RAW CWD";
    case session:
        return "BY SESSION";
    case agent:
        return "BY AGENT";
    case model:
        return "BY MODEL";
    case day:
        return "BY DAY";
    case hour:
        return "BY HOUR";
    case source:
        return "BY SOURCE HOME";
    }
    return {};
}

std::optional<Exporter::Axis> Exporter::Axis::fromRawValue(std::string_view raw) noexcept {
    for (Axis a : allCases())
        if (a.rawValue() == raw) return a;
    return std::nullopt;
}

const std::array<Exporter::Axis, 8>& Exporter::Axis::allCases() noexcept {
    static constexpr std::array<Axis, 8> all = {project, rawCwd, session, agent,
                                                model,   day,    hour,    source};
    return all;
}

// ---- Stamps ----

std::string Parts::Stamps::day(LocalDay d) const {
    return d.iso();
}

std::string Parts::Stamps::dayOfInstant(double instant) const {
    return calendar_.dayOf(instant).iso();
}

std::string Parts::Stamps::instant(double instant) const {
    LocalTime t = calendar_.localTime(instant);
    std::string out = t.day.iso();
    auto two = [&out](int v) {
        out += static_cast<char>('0' + v / 10 % 10);
        out += static_cast<char>('0' + v % 10);
    };
    out += 'T';
    two(t.hour);
    out += ':';
    two(t.minute);
    out += ':';
    two(t.second);
    if (t.offsetSeconds == 0) return out + "Z";
    int off = t.offsetSeconds;
    out += off < 0 ? '-' : '+';
    off = off < 0 ? -off : off;
    two(off / 3600);
    out += ':';
    two(off / 60 % 60);
    if (off % 60 != 0) {
        out += ':';
        two(off % 60);
    }
    return out;
}

// ---- Rows ----

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

// NaN never arises from real counts; sorting it last keeps the order a strict weak one.
double sortMeasure(double priced) {
    return std::isnan(priced) ? -std::numeric_limits<double>::infinity() : priced;
}

std::string hourKey(int hour) {
    if (hour >= 0 && hour < 10) return "0" + integer(std::int64_t{hour});
    return integer(std::int64_t{hour});
}

template <class Map, class MakeEntry>
void collect(const Map& map, std::vector<Parts::Entry>& out, MakeEntry make) {
    out.reserve(map.size());
    for (const auto& [key, bucket] : map)
        out.push_back(make(key, bucket));
}

void sortEntries(std::vector<Parts::Entry>& entries, Exporter::Axis axis) {
    if (axis.isChronological()) {
        std::stable_sort(entries.begin(), entries.end(),
                         [](const auto& a, const auto& b) { return a.key < b.key; });
        return;
    }
    // Keys compare in canonical composition, as the rankings do; the raw bytes break
    // the rare tie between two encodings of the same text, so the order never depends
    // on how the report's maps were enumerated.
    struct Ref {
        double measure;
        std::string text;
        std::size_t index;
    };
    std::vector<Ref> refs;
    refs.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        refs.push_back(
            {sortMeasure(entries[i].bucket.cost.priced), text::composed(entries[i].key), i});
    std::sort(refs.begin(), refs.end(), [&](const Ref& a, const Ref& b) {
        if (a.measure != b.measure) return a.measure > b.measure;
        if (int c = a.text.compare(b.text); c != 0) return c < 0;
        if (int c = entries[a.index].key.compare(entries[b.index].key); c != 0) return c < 0;
        return a.index < b.index;
    });
    std::vector<Parts::Entry> sorted;
    sorted.reserve(entries.size());
    for (const auto& r : refs)
        sorted.push_back(std::move(entries[r.index]));
    entries = std::move(sorted);
}

} // namespace

std::vector<Parts::Entry> Parts::rows(const Report& report, Axis axis, const Calendar& calendar) {
    std::vector<Entry> out;
    auto plain = [](const std::string& key, const Bucket& b) {
        return Entry{key, key, b, std::nullopt};
    };
    switch (axis.value()) {
    case Axis::project:
        collect(report.byProject, out, plain);
        break;
    case Axis::rawCwd:
        collect(report.byRawCwd, out, plain);
        break;
    case Axis::session:
        collect(report.bySession, out, plain);
        break;
    case Axis::model:
        collect(report.byModel, out, plain);
        break;
    case Axis::source:
        collect(report.bySource, out, plain);
        break;
    case Axis::agent:
        collect(report.byAgent, out, [](const AgentIdentity& a, const Bucket& b) {
            return Entry{a.description(), a.label(), b, a};
        });
        break;
    case Axis::day: {
        Stamps stamps(calendar);
        collect(report.byDay, out, [&](LocalDay d, const Bucket& b) {
            std::string key = stamps.day(d);
            return Entry{key, key, b, std::nullopt};
        });
        break;
    }
    case Axis::hour:
        collect(report.byHour, out, [](int h, const Bucket& b) {
            std::string key = hourKey(h);
            return Entry{key, key + ":00", b, std::nullopt};
        });
        break;
    }
    sortEntries(out, axis);
    return out;
}

// ---- Cells ----

std::string Parts::textField(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 3);
    if (!s.empty()) {
        // The first scalar decides, not the first user-perceived character: "=" followed
        // by a combining mark is still read as a formula by spreadsheets. A leading CR LF
        // is a line break, not a lone carriage return.
        char c = s[0];
        bool loneCR = c == '\r' && (s.size() < 2 || s[1] != '\n');
        if (c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || loneCR) out += '\'';
    }
    out.append(s);
    if (out.find_first_of(",\"\n\r") == std::string::npos) return out;
    std::string quoted = "\"";
    quoted.reserve(out.size() + 8);
    for (char c : out) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string Parts::decimal(double x, int places) {
    char buf[512];
    auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed,
                           std::clamp(places, 0, 100));
    if (r.ec != std::errc()) return std::string(unknown);
    return std::string(buf, r.ptr);
}

Parts::CostCells Parts::costFields(const Bucket& bucket) {
    if (bucket.requests < 1) return {std::string(unknown), "unknown — no request in range"};
    if (bucket.cost.priced == 0.0 && bucket.cost.unpricedRequests >= 1)
        return {std::string(unknown), "unknown — no known price for any request in this row"};
    return {decimal(bucket.cost.priced, moneyDecimalsCSV),
            bucket.cost.unpricedRequests == 0 ? "complete" : "lower bound — priced requests only"};
}

std::string Parts::models(const Bucket& bucket) {
    if (bucket.modelCounts.empty()) return "unknown — no model recorded on this row";
    std::vector<std::pair<std::string_view, std::int64_t>> pairs(bucket.modelCounts.begin(),
                                                                 bucket.modelCounts.end());
    std::stable_sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) {
        if (a.second != b.second) return a.second > b.second;
        return a.first < b.first;
    });
    std::string out;
    for (const auto& [model, count] : pairs) {
        if (!out.empty()) out += "; ";
        out.append(model);
        out += " (";
        out += integer(count);
        out += ')';
    }
    return out;
}

std::string Parts::projectAttribution(std::string_view project, const Report& report) {
    auto it = report.projectProvenance.find(project);
    if (it == report.projectProvenance.end() || it->second.empty())
        return "unknown — the report carries no label provenance for this project";
    std::string out;
    for (const auto& raw : it->second) { // a std::set: already ascending
        if (!out.empty()) out += "; ";
        if (raw == "exact")
            out += "cwd is the repository root";
        else if (raw == "worktreeFolded")
            out += "folded out of a .claude/worktrees path";
        else if (raw == "gitRootFolded")
            out += "folded up to the git root";
        else if (raw == "rawFallback")
            out += "no repository found; the raw cwd was kept";
        else if (raw == "missing")
            out += "the transcript carried no cwd";
        else
            out += "unrecognised provenance: " + raw;
    }
    return out;
}

namespace {

struct AxisColumns {
    std::string project, session, agent, agentKind, note;
};

AxisColumns axisColumns(const Parts::Entry& e, Exporter::Axis axis, const Report& report) {
    const std::string nb(Exporter::notBrokenDown);
    switch (axis.value()) {
    case Exporter::Axis::project:
        return {e.key, nb, nb, nb, Parts::projectAttribution(e.key, report)};
    case Exporter::Axis::rawCwd:
        return {nb, nb, nb, nb, "raw cwd as written in the transcript, before any folding"};
    case Exporter::Axis::session: {
        auto it = report.sessionProject.find(e.key);
        return {it != report.sessionProject.end()
                    ? it->second
                    : "unknown — no project could be attached to this session",
                e.key, nb, nb, "project taken from the session's last activity"};
    }
    case Exporter::Axis::agent: {
        if (!e.agent) return {nb, nb, nb, nb, nb};
        const AgentIdentity& a = *e.agent;
        auto p = report.agentProject.find(a);
        auto s = report.agentSession.find(a);
        AxisColumns c{
            p != report.agentProject.end() ? p->second
                                           : "unknown — no project recorded for this agent",
            s != report.agentSession.end() ? s->second
                                           : "unknown — no session recorded for this agent",
            a.label(), "", ""};
        switch (a.kind()) {
        case AgentIdentity::Kind::named:
            c.agentKind = "named subagent";
            c.note = "name read out of the agentId itself";
            break;
        case AgentIdentity::Kind::anonymous:
            c.agentKind = "anonymous subagent";
            c.note = "the agentId carries no name and no roster entry matched; the agent is "
                     "reported as anonymous rather than given a plausible name";
            break;
        case AgentIdentity::Kind::main:
            c.agentKind = "main session";
            c.note = "requests with no agentId, i.e. the main session";
            break;
        }
        return c;
    }
    case Exporter::Axis::model:
        return {nb, nb, nb, nb, "one model, across every project and agent in range"};
    case Exporter::Axis::day:
        return {nb, nb, nb, nb, "calendar day in the local time zone, as the aggregator counts it"};
    case Exporter::Axis::hour:
        return {nb, nb, nb, nb, "hour of the local day, across the selected period"};
    case Exporter::Axis::source:
        return {nb, nb, nb, nb, "the Claude home directory the transcripts were read from"};
    }
    return {nb, nb, nb, nb, nb};
}

std::string activity(const std::optional<double>& t, const Parts::Stamps& stamps) {
    return t ? stamps.instant(*t) : "unknown — the row holds no dated request";
}

} // namespace

std::vector<std::string> Parts::fields(const Entry& entry, Axis axis, const Report& report,
                                       const Stamps& stamps) {
    const Bucket& b = entry.bucket;
    AxisColumns cols = axisColumns(entry, axis, report);
    CostCells cost = costFields(b);
    std::vector<std::string> f;
    f.reserve(breakdownColumns.size());
    f.push_back(textField(axis.columnValue()));
    f.push_back(textField(entry.key));
    f.push_back(textField(entry.label));
    f.push_back(textField(cols.project));
    f.push_back(textField(cols.session));
    f.push_back(textField(cols.agent));
    f.push_back(textField(cols.agentKind));
    f.push_back(textField(models(b)));
    f.push_back(textField(cols.note));
    f.push_back(textField(activity(b.firstActivity, stamps)));
    f.push_back(textField(activity(b.lastActivity, stamps)));
    f.push_back(integer(b.requests));
    f.push_back(integer(b.input));
    f.push_back(integer(b.output));
    f.push_back(integer(b.cacheWrite5m));
    f.push_back(integer(b.cacheWrite1h));
    f.push_back(integer(b.cacheRead));
    f.push_back(integer(b.totalTokens()));
    f.push_back(integer(b.webSearch));
    f.push_back(integer(b.webFetch));
    f.push_back(textField(currencyCode));
    f.push_back(textField(cost.value));
    f.push_back(textField(cost.basis));
    f.push_back(integer(b.cost.unpricedRequests));
    f.push_back(textField(
        b.cost.unpricedModels.empty() ? "(none)" : text::joined(b.cost.unpricedModels, "; ")));
    f.push_back(integer(b.cacheWriteAssumedRequests));
    return f;
}

// ---- Breakdown CSVs ----

namespace {

template <class Columns> void appendHeader(std::string& out, const Columns& columns) {
    bool first = true;
    for (auto name : columns) {
        if (!first) out += ',';
        out += Parts::textField(name);
        first = false;
    }
    out += '\n';
}

std::string breakdownFromRows(const std::vector<Parts::Entry>& rows, Exporter::Axis axis,
                              const Report& report, const Exporter::Options& options) {
    Parts::Stamps stamps(options.calendar);
    std::string out;
    if (options.byteOrderMark) out += byteOrderMark;
    appendHeader(out, Exporter::breakdownColumns);
    std::size_t n = rows.size();
    if (options.limitPerAxis)
        n = *options.limitPerAxis <= 0
                ? 0
                : static_cast<std::size_t>(std::min<std::uint64_t>(
                      static_cast<std::uint64_t>(*options.limitPerAxis), rows.size()));
    for (std::size_t i = 0; i < n; ++i) {
        auto cells = Parts::fields(rows[i], axis, report, stamps);
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c > 0) out += ',';
            out += cells[c];
        }
        out += '\n';
    }
    return out;
}

} // namespace

std::string Exporter::breakdownCSV(const Report& report, Axis axis, const Options& options) {
    return breakdownFromRows(Parts::rows(report, axis, options.calendar), axis, report, options);
}

std::vector<Exporter::AxisCSV> Exporter::allBreakdownCSVs(const Report& report,
                                                          const Options& options) {
    std::vector<AxisCSV> out;
    for (Axis axis : Axis::allCases()) {
        auto entries = Parts::rows(report, axis, options.calendar);
        if (entries.empty()) continue;
        out.push_back({axis, breakdownFromRows(entries, axis, report, options)});
    }
    return out;
}

// ---- File names ----

namespace {

bool isLetterOrNumber(utf8proc_int32_t cp) {
    switch (utf8proc_category(cp)) {
    case UTF8PROC_CATEGORY_LU:
    case UTF8PROC_CATEGORY_LL:
    case UTF8PROC_CATEGORY_LT:
    case UTF8PROC_CATEGORY_LM:
    case UTF8PROC_CATEGORY_LO:
    case UTF8PROC_CATEGORY_ND:
    case UTF8PROC_CATEGORY_NL:
    case UTF8PROC_CATEGORY_NO:
        return true;
    default:
        return false;
    }
}

// Lower case, code point by code point; a byte that is not valid UTF-8 is kept as it is
// (the slug then turns it into "-").
std::string lowerCased(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t pos = 0; pos < s.size();) {
        utf8proc_int32_t cp = -1;
        auto n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(s.data() + pos),
                                  static_cast<utf8proc_ssize_t>(s.size() - pos), &cp);
        if (n <= 0) {
            out += s[pos++];
            continue;
        }
        pos += static_cast<std::size_t>(n);
        if (cp == 0x0130) { // İ lower-cases to i with a combining dot above
            out += "i\xCC\x87";
            continue;
        }
        utf8proc_uint8_t buf[4];
        auto len = utf8proc_encode_char(utf8proc_tolower(cp), buf);
        out.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(len));
    }
    return out;
}

// Whether the user-perceived character begins with a letter or a number.
bool startsWithLetterOrNumber(std::string_view cluster) {
    utf8proc_int32_t cp = -1;
    auto n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(cluster.data()),
                              static_cast<utf8proc_ssize_t>(cluster.size()), &cp);
    return n > 0 && isLetterOrNumber(cp);
}

} // namespace

std::string Parts::slug(std::string_view s) {
    std::string lower = lowerCased(s);
    std::string out;
    out.reserve(lower.size());
    text::forEachCharacter(lower, [&out](std::string_view c) {
        if (startsWithLetterOrNumber(c))
            out.append(c);
        else if (!out.empty() && out.back() != '-')
            out += '-'; // leading dashes are never written; runs collapse here
    });
    if (!out.empty() && out.back() == '-') out.pop_back();
    return out;
}

std::string Exporter::suggestedFileName(const Document& document, const Options& options) {
    Parts::Stamps stamps(options.calendar);
    std::string period;
    if (options.periodLabel)
        period = Parts::slug(*options.periodLabel);
    else if (options.from && options.to)
        period = stamps.day(*options.from) + "_" + stamps.day(*options.to);
    else
        period = stamps.dayOfInstant(options.generatedAt);
    if (document.kind == Document::Kind::provenance) return "vantery-provenance-" + period + ".csv";
    return "vantery-" + std::string(document.axis.columnValue()) + "-" + period + ".csv";
}

} // namespace vantery
