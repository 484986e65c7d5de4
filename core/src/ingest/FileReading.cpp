#include "ingest/FileReading.hpp"

#include <algorithm>
#include <vector>

#include "ingest/LineReader.hpp"
#include "ingest/RecordTable.hpp"

namespace vantery::detail {
namespace {

// How often a reading looks at its stop: a low-priority verification on a busy machine
// gets a few milliseconds now and then, and must hear a stop within one of them.
constexpr std::size_t stopCheckBytes = std::size_t{64} << 10;

// A file names the same few models, sessions, folders and agents again and again:
// each is looked up here first, so that the dictionary's lock is taken once per
// distinct text of the file rather than once per request.
template <class T, class Id> class Memo {
  public:
    template <class Intern> Id get(const T& value, Intern&& intern) {
        for (const auto& [v, id] : seen_)
            if (v == value) return id;
        const Id id = intern(value);
        if (seen_.size() < 16) seen_.emplace_back(value, id);
        return id;
    }

  private:
    std::vector<std::pair<T, Id>> seen_;
};

class TextMemo {
  public:
    explicit TextMemo(RequestDictionary& d) : d_(d) {}
    RequestRow rowOf(const UsageRecord& r) {
        RequestRow row;
        row.timestamp = r.timestamp;
        row.model = models_.get(r.model, [&](const std::string& t) { return d_.internModel(t); });
        row.session =
            sessions_.get(r.sessionId, [&](const std::string& t) { return d_.internSession(t); });
        row.cwd = cwds_.get(r.rawCwd, [&](const std::string& t) { return d_.internCwd(t); });
        row.home = homes_.get(r.sourceHome, [&](const std::string& t) { return d_.internHome(t); });
        row.agent =
            r.agent == AgentIdentity::mainSession()
                ? 0
                : agents_.get(r.agent, [&](const AgentIdentity& a) { return d_.internAgent(a); });
        if (r.cacheWriteBreakdownAssumed) row.flags |= RequestRow::assumedFlag;
        d_.setCounts(row, r);
        return row;
    }

  private:
    RequestDictionary& d_;
    Memo<std::string, std::uint32_t> models_, sessions_, cwds_;
    Memo<std::string, std::uint8_t> homes_;
    Memo<AgentIdentity, std::uint32_t> agents_;
};

} // namespace

FileReading readFile(const TranscriptFile& file, std::uint64_t from,
                     std::optional<std::uint64_t> upTo, const FileBlock* resume,
                     RequestDictionary& dictionary, std::stop_token stop) {
    FileReading out;
    RecordTable read(resume ? 64 : 256);
    Scanner::LastRequest last;
    const bool stoppable = stop.stop_possible();
    std::size_t sinceCheck = 0;
    try {
        out.consumed =
            LineReader::forEachLineInline(file.path, from, upTo, [&](std::string_view line) {
                if (stoppable && (sinceCheck += line.size() + 1) >= stopCheckBytes) {
                    sinceCheck = 0;
                    if (stop.stop_requested()) throw Stopped{};
                }
                ingest(line, file.path, file.home, 0, read, out.diagnostics, last);
            });
    } catch (const LineReader::ReadError& e) {
        // Exactly the lines delivered before the failure are accounted for.
        out.failed = true;
        out.consumed = std::max(e.deliveredUpTo, from);
    }

    FileBlock::Builder builder =
        resume ? FileBlock::Builder(*resume) : FileBlock::Builder(read.size());
    TextMemo memo(dictionary);
    for (std::size_t i = 0; i < read.size(); ++i) {
        const auto& entry = read.at(i);
        const UsageRecord& r = entry.record;
        if (resume) {
            if (auto at = builder.find(entry.key)) {
                // A request the file held already: the within-file rule.
                dictionary.fold(builder.row(*at), r, r.timestamp);
                continue;
            }
        }
        builder.add(entry.key, memo.rowOf(r));
    }
    out.block = builder.finish();
    return out;
}

} // namespace vantery::detail
