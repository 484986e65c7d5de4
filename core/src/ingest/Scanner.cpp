#include "vantery/ingest/Scanner.hpp"
#include "ingest/RecordTable.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include <simdjson.h>

#include "base/ByteSearch.hpp"
#include "ingest/LargeNumbers.hpp"
#include "ingest/LineReader.hpp"
#include "vantery/base/Saturating.hpp"
#include "vantery/pricing/Pricing.hpp"

namespace vantery {
namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;
using simdjson::dom::object;

// Lines up to this size are parsed with the thread's reused parser; a rare larger
// line gets a parser of its own so its buffers are released right after.
constexpr std::size_t reusableParserLimit = 1u << 20;

struct ThreadParser {
    simdjson::dom::parser parser;
    std::unique_ptr<char[]> padded;
    std::size_t paddedCapacity = 0;
    std::string key;
    std::string rewritten;
    // The model and agent texts of the last new request with what they became: a
    // transcript names the same few again and again, and both conversions walk the
    // text character by character.
    std::string rawModel, model;
    bool hasModel = false;
    std::string rawAgent;
    AgentIdentity agent;
    bool hasAgent = false;

    const std::string& normalizedModel(std::string_view raw) {
        if (!hasModel || raw != rawModel) {
            hasModel = false;
            model = Pricing::normalizeModel(raw);
            rawModel.assign(raw);
            hasModel = true;
        }
        return model;
    }

    AgentIdentity parsedAgent(std::optional<std::string_view> raw) {
        if (!raw || raw->empty()) return AgentIdentity::parse(raw);
        if (!hasAgent || *raw != rawAgent) {
            hasAgent = false;
            agent = AgentIdentity::parse(raw);
            rawAgent.assign(*raw);
            hasAgent = true;
        }
        return agent;
    }

    // The line copied into a buffer with the zeroed tail the parser reads past the end.
    const char* pad(std::string_view line) {
        std::size_t need = line.size() + simdjson::SIMDJSON_PADDING;
        if (need > paddedCapacity) {
            paddedCapacity = std::max(need, std::size_t{64 * 1024});
            padded = std::make_unique<char[]>(paddedCapacity);
        }
        std::memcpy(padded.get(), line.data(), line.size());
        std::memset(padded.get() + line.size(), 0, simdjson::SIMDJSON_PADDING);
        return padded.get();
    }

    void shrinkIfHuge() {
        if (paddedCapacity > 2 * reusableParserLimit) {
            padded.reset();
            paddedCapacity = 0;
        }
    }
};

ThreadParser& threadParser() {
    thread_local ThreadParser p;
    return p;
}

// The integer a JSON value stands for: integers as they are (clamped to int64),
// other numbers cut toward zero and clamped, booleans 1 and 0, anything else 0.
std::int64_t intOf(simdjson::simdjson_result<element> value) {
    element e;
    if (value.get(e) != simdjson::SUCCESS) return 0;
    switch (e.type()) {
    case element_type::INT64:
        return std::int64_t(e.get_int64().value_unsafe());
    case element_type::UINT64: {
        std::uint64_t u = e.get_uint64().value_unsafe();
        return u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                   ? std::numeric_limits<std::int64_t>::max()
                   : static_cast<std::int64_t>(u);
    }
    case element_type::DOUBLE:
        return clampToInt64(e.get_double().value_unsafe());
    case element_type::BOOL:
        return e.get_bool().value_unsafe() ? 1 : 0;
    default:
        return 0;
    }
}

// A token or request count: a count cannot be negative, so a negative value reads
// as 0. Kept at ingestion, a negative count would pass into the figures of a fresh
// scan but not into those of a cache file, which stores no negative numbers.
std::int64_t countOf(simdjson::simdjson_result<element> value) {
    return std::max<std::int64_t>(0, intOf(value));
}

// The value of key in obj when it is a string.
std::optional<std::string_view> stringAt(const object& obj, std::string_view key) {
    std::string_view s;
    if (obj.at_key(key).get_string().get(s) == simdjson::SUCCESS) return s;
    return std::nullopt;
}

// The object under key in obj, if it is one.
std::optional<object> objectAt(const object& obj, std::string_view key) {
    object o;
    if (obj.at_key(key).get_object().get(o) == simdjson::SUCCESS) return o;
    return std::nullopt;
}

// The transcript's file name without its extension.
std::string sessionFromPath(const std::string& path) {
    std::string_view name(path);
    if (auto slash = name.rfind('/'); slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    if (auto dot = name.rfind('.'); dot != std::string_view::npos && dot > 0)
        name = name.substr(0, dot);
    return std::string(name);
}

// The key of a request known by its message id alone: the id and a ":" with nothing
// after. Every "<message id>:<request id>" key has a ":" with text on both sides, as
// neither id may be empty; this one has none, as the id's "\" and ":" are written
// "\\" and "\;" in it. It stays valid UTF-8, which the cache file keeps as it is.
void keyOfMessageAlone(std::string_view id, std::string& key) {
    key.clear();
    if (id.find_first_of("\\:") == std::string_view::npos) {
        key.append(id);
    } else {
        for (char c : id) {
            if (c == '\\')
                key += "\\\\";
            else if (c == ':')
                key += "\\;";
            else
                key += c;
        }
    }
    key += ':';
}

// The two request dictionaries lines are ingested into, behind one interface:
// the slot of a key (created with a default record when missing) and taking the
// slot just created back.
class MapSlots {
  public:
    explicit MapSlots(RequestMap& map) : map_(map) {}
    std::pair<const std::string*, UsageRecord*> slot(const std::string& key, bool& added) {
        auto [it, inserted] = map_.try_emplace(key);
        added = inserted;
        last_ = it;
        return {&it->first, &it->second};
    }
    void dropLast() { map_.erase(last_); }

  private:
    RequestMap& map_;
    RequestMap::iterator last_;
};

class TableSlots {
  public:
    explicit TableSlots(detail::RecordTable& table) : table_(table) {}
    std::pair<const std::string*, UsageRecord*> slot(const std::string& key, bool& added) {
        auto& entry = table_.findOrAdd(key, added);
        return {&entry.key, &entry.record};
    }
    void dropLast() { table_.dropLast(); }

  private:
    detail::RecordTable& table_;
};

template <class Slots>
void ingestParsed(const object& top, const std::string& path, const std::string& home,
                  std::int64_t rank, Slots& into, ScanDiagnostics& diag, ThreadParser& tp,
                  Scanner::LastRequest& last) {
    object message;
    if (top.size() == 0 || top.at_key("message").get_object().get(message) != simdjson::SUCCESS) {
        ++diag.rejectedNoMessage;
        return;
    }
    // An empty message object is a message without usage, not a missing message.
    object usage;
    if (message.size() == 0 ||
        message.at_key("usage").get_object().get(usage) != simdjson::SUCCESS) {
        ++diag.notUsageBearing;
        return;
    }

    RequestCounts counts;
    counts.input = countOf(usage.at_key("input_tokens"));
    counts.output = countOf(usage.at_key("output_tokens"));
    counts.cacheRead = countOf(usage.at_key("cache_read_input_tokens"));
    std::int64_t total = countOf(usage.at_key("cache_creation_input_tokens"));
    std::int64_t share5m = 0, share1h = 0;
    if (auto split = objectAt(usage, "cache_creation")) {
        share5m = countOf(split->at_key("ephemeral_5m_input_tokens"));
        share1h = countOf(split->at_key("ephemeral_1h_input_tokens"));
    }
    if (auto tools = objectAt(usage, "server_tool_use")) {
        counts.webSearch = countOf(tools->at_key("web_search_requests"));
        counts.webFetch = countOf(tools->at_key("web_fetch_requests"));
    }

    bool assumed;
    std::int64_t splitSum;
    // A split whose sum overflows cannot equal any total.
    if (!__builtin_add_overflow(share5m, share1h, &splitSum) && splitSum == total) {
        counts.cacheWrite5m = share5m;
        counts.cacheWrite1h = share1h;
        assumed = false;
    } else {
        counts.cacheWrite5m = total;
        assumed = total > 0;
    }

    if (counts.input == 0 && counts.output == 0 && counts.cacheRead == 0 && total == 0 &&
        counts.webSearch == 0 && counts.webFetch == 0) {
        ++diag.skippedZeroUsage;
        return;
    }

    std::optional<double> when;
    if (auto ts = stringAt(top, "timestamp")) when = Timestamp::parse(*ts);
    if (!when) {
        ++diag.rejectedNoTimestamp;
        return;
    }

    auto messageId = stringAt(message, "id");
    auto requestId = stringAt(top, "requestId");
    if (!requestId) requestId = stringAt(top, "request_id");
    // Lines written behind a gateway, and some of some releases, carry no request id:
    // their message id alone identifies the request. An empty id of either kind does not.
    if (!messageId || messageId->empty() || (requestId && requestId->empty())) {
        ++diag.rejectedNoIdentity;
        return;
    }

    std::string& key = tp.key;
    if (requestId) {
        key.assign(*messageId);
        key += ':';
        key.append(*requestId);
    } else {
        keyOfMessageAlone(*messageId, key);
    }

    // The repeats of a request mostly follow each other: the record the last line
    // went to is checked before the dictionary is searched.
    UsageRecord* present = nullptr;
    if (last.record && *last.key == key) {
        present = last.record;
    } else {
        bool added = false;
        auto [storedKey, record] = into.slot(key, added);
        if (added) {
            try {
                UsageRecord& r = *record;
                r.timestamp = *when;
                auto model = stringAt(message, "model");
                r.model = tp.normalizedModel(model ? *model : std::string_view("unknown"));
                if (auto s = stringAt(top, "sessionId"))
                    r.sessionId = *s;
                else if (auto s2 = stringAt(top, "session_id"))
                    r.sessionId = *s2;
                else
                    r.sessionId = sessionFromPath(path);
                if (auto cwd = stringAt(top, "cwd")) r.rawCwd = *cwd;
                r.agent = tp.parsedAgent(stringAt(top, "agentId"));
                r.sourceHome = home;
                r.counts() = counts;
                r.cacheWriteBreakdownAssumed = assumed;
                r.sourceRank = rank;
            } catch (...) {
                // No half-built request stays behind.
                last = {};
                into.dropLast();
                throw;
            }
            last = {record, storedKey};
            return;
        }
        present = record;
        last = {present, storedKey};
    }
    present->fold(counts, *when);
}

} // namespace

void Scanner::ingest(std::string_view line, const std::string& path, const std::string& home,
                     std::int64_t rank, RequestMap& into, ScanDiagnostics& diag) {
    LastRequest none;
    ingest(line, path, home, rank, into, diag, none);
}

namespace {

template <class Slots>
void ingestLine(std::string_view line, const std::string& path, const std::string& home,
                std::int64_t rank, Slots& into, ScanDiagnostics& diag, Scanner::LastRequest& last) {
    auto length = static_cast<std::int64_t>(line.size());
    if (length > diag.longestLineBytes) {
        diag.longestLineBytes = length;
        diag.longestLinePath = path;
    }
    if (!containsBytes(line, Scanner::usageNeedle)) return;
    ++diag.usageLines;

    ThreadParser& tp = threadParser();
    const char* padded = tp.pad(line);
    std::unique_ptr<simdjson::dom::parser> own;
    simdjson::dom::parser* parser = &tp.parser;
    if (line.size() > reusableParserLimit) {
        own = std::make_unique<simdjson::dom::parser>();
        parser = own.get();
    }
    object top;
    auto parsed = parser->parse(padded, line.size(), false);
    if (parsed.error() == simdjson::NUMBER_ERROR && detail::clampLargeNumbers(line, tp.rewritten))
        parsed = parser->parse(tp.pad(tp.rewritten), tp.rewritten.size(), false);
    if (parsed.get_object().get(top) != simdjson::SUCCESS) {
        ++diag.rejectedInvalidJSON;
    } else {
        ingestParsed(top, path, home, rank, into, diag, tp, last);
    }
    if (own) tp.shrinkIfHuge();
}

} // namespace

void Scanner::ingest(std::string_view line, const std::string& path, const std::string& home,
                     std::int64_t rank, RequestMap& into, ScanDiagnostics& diag,
                     LastRequest& last) {
    MapSlots slots(into);
    ingestLine(line, path, home, rank, slots, diag, last);
}

void detail::ingest(std::string_view line, const std::string& path, const std::string& home,
                    std::int64_t rank, RecordTable& into, ScanDiagnostics& diag,
                    Scanner::LastRequest& last) {
    TableSlots slots(into);
    ingestLine(line, path, home, rank, slots, diag, last);
}

} // namespace vantery
