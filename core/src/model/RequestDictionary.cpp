#include "vantery/model/RequestDictionary.hpp"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace vantery {

namespace {

constexpr std::int64_t narrowMax = std::numeric_limits<std::uint32_t>::max();

} // namespace

std::uint32_t RequestDictionary::Pool::intern(std::string_view text) {
    auto it = index.find(std::string(text));
    if (it != index.end()) return it->second;
    const auto id = static_cast<std::uint32_t>(texts.size());
    index.emplace(std::string(text), id);
    texts.push(std::string(text));
    return id;
}

std::optional<std::uint32_t> RequestDictionary::Pool::find(std::string_view text) const {
    auto it = index.find(std::string(text));
    if (it == index.end()) return std::nullopt;
    return it->second;
}

std::string RequestDictionary::agentKey(const AgentIdentity& agent) {
    std::string key(1, static_cast<char>('0' + static_cast<int>(agent.kind())));
    key += agent.rawIdText();
    key += '\0';
    key += agent.name();
    return key;
}

RequestDictionary::RequestDictionary() {
    // Id 0 is always the main session.
    agentIndex_.emplace(agentKey(AgentIdentity::mainSession()), 0);
    agents_.push(AgentIdentity::mainSession());
}

std::uint32_t RequestDictionary::internModel(std::string_view text) {
    std::lock_guard g(lock_);
    return models_.intern(text);
}
std::uint32_t RequestDictionary::internSession(std::string_view text) {
    std::lock_guard g(lock_);
    return sessions_.intern(text);
}
std::uint32_t RequestDictionary::internCwd(std::string_view text) {
    std::lock_guard g(lock_);
    return cwds_.intern(text);
}
std::uint8_t RequestDictionary::internHome(std::string_view text) {
    std::lock_guard g(lock_);
    if (auto id = homes_.find(text)) return static_cast<std::uint8_t>(*id);
    if (homes_.texts.size() > std::numeric_limits<std::uint8_t>::max())
        throw std::length_error("too many homes");
    return static_cast<std::uint8_t>(homes_.intern(text));
}
std::uint32_t RequestDictionary::internAgent(const AgentIdentity& agent) {
    std::string key = agentKey(agent);
    std::lock_guard g(lock_);
    auto it = agentIndex_.find(key);
    if (it != agentIndex_.end()) return it->second;
    const auto id = static_cast<std::uint32_t>(agents_.size());
    agentIndex_.emplace(std::move(key), id);
    agents_.push(agent);
    return id;
}
std::uint32_t RequestDictionary::internWide(const RequestCounts& counts) {
    std::lock_guard g(lock_);
    return static_cast<std::uint32_t>(wides_.push(counts));
}

std::optional<std::uint32_t> RequestDictionary::findIn(const Pool& pool,
                                                       std::string_view text) const {
    std::lock_guard g(lock_);
    return pool.find(text);
}
std::optional<std::uint32_t> RequestDictionary::findModel(std::string_view text) const {
    return findIn(models_, text);
}
std::optional<std::uint32_t> RequestDictionary::findSession(std::string_view text) const {
    return findIn(sessions_, text);
}
std::optional<std::uint32_t> RequestDictionary::findCwd(std::string_view text) const {
    return findIn(cwds_, text);
}
std::optional<std::uint32_t> RequestDictionary::findHome(std::string_view text) const {
    return findIn(homes_, text);
}
std::optional<std::uint32_t> RequestDictionary::findAgent(const AgentIdentity& agent) const {
    std::string key = agentKey(agent);
    std::lock_guard g(lock_);
    auto it = agentIndex_.find(key);
    if (it == agentIndex_.end()) return std::nullopt;
    return it->second;
}

RequestDictionary::Sizes RequestDictionary::sizes() const noexcept {
    return {models_.texts.size(), sessions_.texts.size(), cwds_.texts.size(), homes_.texts.size(),
            agents_.size()};
}

RequestRow RequestDictionary::rowOf(const UsageRecord& r) {
    RequestRow row;
    row.timestamp = r.timestamp;
    row.model = internModel(r.model);
    row.session = internSession(r.sessionId);
    row.cwd = internCwd(r.rawCwd);
    row.agent = internAgent(r.agent);
    row.home = internHome(r.sourceHome);
    if (r.cacheWriteBreakdownAssumed) row.flags |= RequestRow::assumedFlag;
    setCounts(row, r);
    return row;
}

void RequestDictionary::setCounts(RequestRow& row, const RequestCounts& c) {
    auto fits = [](std::int64_t v) { return v >= 0 && v <= narrowMax; };
    if (fits(c.input) && fits(c.output) && fits(c.cacheWrite5m) && fits(c.cacheWrite1h) &&
        fits(c.cacheRead) && c.webSearch >= 0 &&
        c.webSearch <= std::numeric_limits<std::uint16_t>::max() && c.webFetch == 0) {
        row.flags &= static_cast<std::uint8_t>(~RequestRow::wideFlag);
        row.input = static_cast<std::uint32_t>(c.input);
        row.output = static_cast<std::uint32_t>(c.output);
        row.cacheWrite5m = static_cast<std::uint32_t>(c.cacheWrite5m);
        row.cacheWrite1h = static_cast<std::uint32_t>(c.cacheWrite1h);
        row.cacheRead = static_cast<std::uint32_t>(c.cacheRead);
        row.webSearch = static_cast<std::uint16_t>(c.webSearch);
    } else {
        row.flags |= RequestRow::wideFlag;
        row.input = internWide(c);
        row.output = row.cacheWrite5m = row.cacheWrite1h = row.cacheRead = 0;
        row.webSearch = 0;
    }
}

void RequestDictionary::fold(RequestRow& row, const RequestCounts& o, double timestamp) {
    const RequestCounts a = counts(row);
    RequestCounts both = a;
    both.foldMax(o);
    if (both != a) setCounts(row, both);
    row.timestamp = std::min(row.timestamp, timestamp);
}

UsageRecord RequestDictionary::record(const RequestRow& row) const {
    UsageRecord r;
    r.timestamp = row.timestamp;
    r.model = model(row.model);
    r.sessionId = session(row.session);
    r.rawCwd = cwd(row.cwd);
    r.agent = agent(row.agent);
    r.sourceHome = home(row.home);
    r.counts() = counts(row);
    r.cacheWriteBreakdownAssumed = row.cacheWriteBreakdownAssumed();
    return r;
}

} // namespace vantery
