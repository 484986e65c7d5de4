#include "vantery/model/RequestTable.hpp"

#include <algorithm>
#include <functional>
#include <limits>

namespace vantery {

namespace {

constexpr std::int64_t narrowMax = std::numeric_limits<std::uint32_t>::max();

bool fitsNarrow(const UsageRecord& r) noexcept {
    auto fits = [](std::int64_t v) { return v >= 0 && v <= narrowMax; };
    return fits(r.input) && fits(r.output) && fits(r.cacheWrite5m) && fits(r.cacheWrite1h) &&
           fits(r.cacheRead) && r.webSearch >= 0 &&
           r.webSearch <= std::numeric_limits<std::uint16_t>::max() && r.webFetch == 0;
}

} // namespace

// MARK: - Dictionary

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

std::optional<std::uint32_t> RequestDictionary::findModel(std::string_view text) const {
    std::lock_guard g(lock_);
    return models_.find(text);
}
std::optional<std::uint32_t> RequestDictionary::findSession(std::string_view text) const {
    std::lock_guard g(lock_);
    return sessions_.find(text);
}
std::optional<std::uint32_t> RequestDictionary::findCwd(std::string_view text) const {
    std::lock_guard g(lock_);
    return cwds_.find(text);
}
std::optional<std::uint32_t> RequestDictionary::findHome(std::string_view text) const {
    std::lock_guard g(lock_);
    return homes_.find(text);
}
std::optional<std::uint32_t> RequestDictionary::findAgent(const AgentIdentity& agent) const {
    std::string key = agentKey(agent);
    std::lock_guard g(lock_);
    auto it = agentIndex_.find(key);
    if (it == agentIndex_.end()) return std::nullopt;
    return it->second;
}

RequestDictionary::Sizes RequestDictionary::sizes() const noexcept {
    return {models_.texts.size(), sessions_.texts.size(), cwds_.texts.size(),
            homes_.texts.size(), agents_.size()};
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
    if (fitsNarrow(r)) {
        row.input = static_cast<std::uint32_t>(r.input);
        row.output = static_cast<std::uint32_t>(r.output);
        row.cacheWrite5m = static_cast<std::uint32_t>(r.cacheWrite5m);
        row.cacheWrite1h = static_cast<std::uint32_t>(r.cacheWrite1h);
        row.cacheRead = static_cast<std::uint32_t>(r.cacheRead);
        row.webSearch = static_cast<std::uint16_t>(r.webSearch);
    } else {
        row.flags |= RequestRow::wideFlag;
        row.input = internWide({r.input, r.output, r.cacheWrite5m, r.cacheWrite1h, r.cacheRead,
                                r.webSearch, r.webFetch});
    }
    return row;
}

UsageRecord RequestDictionary::record(const RequestRow& row) const {
    UsageRecord r;
    r.timestamp = row.timestamp;
    r.model = model(row.model);
    r.sessionId = session(row.session);
    r.rawCwd = cwd(row.cwd);
    r.agent = agent(row.agent);
    r.sourceHome = home(row.home);
    const RequestCounts c = counts(row);
    r.input = c.input;
    r.output = c.output;
    r.cacheWrite5m = c.cacheWrite5m;
    r.cacheWrite1h = c.cacheWrite1h;
    r.cacheRead = c.cacheRead;
    r.webSearch = c.webSearch;
    r.webFetch = c.webFetch;
    r.cacheWriteBreakdownAssumed = row.cacheWriteBreakdownAssumed();
    return r;
}

// MARK: - Blocks

std::uint64_t FileBlock::hashOf(std::string_view key) noexcept {
    return std::hash<std::string_view>{}(key);
}

FileBlock::Builder::Builder(std::size_t expected) : block_(std::make_shared<FileBlock>()) {
    block_->rows_.reserve(expected);
    block_->keyHashes_.reserve(expected);
    block_->keyEnds_.reserve(expected);
}

FileBlock::Builder::Builder(const FileBlock& from) : block_(std::make_shared<FileBlock>(from)) {
    // Views into the copy's own characters; rebuilt whenever they move (see add).
    for (std::size_t i = 0; i < block_->size(); ++i)
        index_.emplace(block_->key(i), static_cast<std::uint32_t>(i));
}

void FileBlock::Builder::add(std::string_view key, const RequestRow& row) {
    FileBlock& b = *block_;
    if (b.keyChars_.size() + key.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("block keys too long");
    const char* before = b.keyChars_.data();
    b.keyChars_.append(key);
    b.keyEnds_.push_back(static_cast<std::uint32_t>(b.keyChars_.size()));
    b.keyHashes_.push_back(hashOf(key));
    b.rows_.push_back(row);
    if (b.keyChars_.data() != before) {
        index_.clear();
        for (std::size_t i = 0; i < b.size(); ++i)
            index_.emplace(b.key(i), static_cast<std::uint32_t>(i));
    } else {
        index_.emplace(b.key(b.size() - 1), static_cast<std::uint32_t>(b.size() - 1));
    }
}

std::optional<std::size_t> FileBlock::Builder::find(std::string_view key) const {
    auto it = index_.find(key);
    if (it == index_.end()) return std::nullopt;
    return it->second;
}

std::shared_ptr<const FileBlock> FileBlock::Builder::finish() {
    index_.clear();
    block_->rows_.shrink_to_fit();
    block_->keyHashes_.shrink_to_fit();
    block_->keyChars_.shrink_to_fit();
    block_->keyEnds_.shrink_to_fit();
    return std::move(block_);
}

// MARK: - Table

RequestTable::RequestTable() : dictionary_(std::make_shared<RequestDictionary>()) {
    sizes_ = dictionary_->sizes();
}

RequestTable::RequestTable(std::shared_ptr<RequestDictionary> dictionary,
                           std::vector<std::shared_ptr<const FileBlock>> blocks)
    : dictionary_(dictionary), blocks_(std::move(blocks)) {
    sizes_ = dictionary_->sizes();
    std::size_t total = 0;
    for (const auto& b : blocks_)
        total += b->size();
    // First meeting of each key: (block, row). Later meetings fold into a merged row.
    struct Where {
        std::uint32_t block, row, merged; // merged: 1 + position in merged_, 0 when none
    };
    std::unordered_map<std::string_view, Where> first;
    first.reserve(total);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> repeats; // (first's index, later)
    std::vector<std::pair<std::uint32_t, std::uint32_t>> order;   // (block, row) kept
    order.reserve(total);
    std::vector<const RequestRow*> later;
    for (std::uint32_t b = 0; b < blocks_.size(); ++b) {
        const FileBlock& block = *blocks_[b];
        for (std::uint32_t i = 0; i < block.size(); ++i) {
            const std::string_view key = block.key(i);
            auto [it, inserted] = first.try_emplace(key, Where{b, i, 0});
            if (inserted || key.empty()) {
                order.emplace_back(b, i);
                continue;
            }
            // A repeat: fold it into the first meeting's merged row.
            Where& w = it->second;
            if (w.merged == 0) {
                merged_.push_back(blocks_[w.block]->row(w.row));
                w.merged = static_cast<std::uint32_t>(merged_.size());
            }
            RequestRow& m = merged_[w.merged - 1];
            const RequestCounts a = dictionary_->counts(m);
            const RequestCounts o = dictionary_->counts(block.row(i));
            RequestCounts c{std::max(a.input, o.input),
                            std::max(a.output, o.output),
                            std::max(a.cacheWrite5m, o.cacheWrite5m),
                            std::max(a.cacheWrite1h, o.cacheWrite1h),
                            std::max(a.cacheRead, o.cacheRead),
                            std::max(a.webSearch, o.webSearch),
                            std::max(a.webFetch, o.webFetch)};
            m.timestamp = std::min(m.timestamp, block.row(i).timestamp);
            if (c != a) {
                // The combination may not fit the narrow fields: keep it at full width.
                UsageRecord r = dictionary_->record(m);
                r.input = c.input;
                r.output = c.output;
                r.cacheWrite5m = c.cacheWrite5m;
                r.cacheWrite1h = c.cacheWrite1h;
                r.cacheRead = c.cacheRead;
                r.webSearch = c.webSearch;
                r.webFetch = c.webFetch;
                m = dictionary->rowOf(r);
            }
        }
    }
    sizes_ = dictionary_->sizes();
    rows_.reserve(order.size());
    for (const auto& [b, i] : order) {
        auto it = first.find(blocks_[b]->key(i));
        if (it != first.end() && it->second.merged != 0 && it->second.block == b &&
            it->second.row == i)
            rows_.push_back(&merged_[it->second.merged - 1]);
        else
            rows_.push_back(&blocks_[b]->row(i));
    }
}

RequestTable RequestTable::fromRecords(std::span<const UsageRecord> records) {
    auto dictionary = std::make_shared<RequestDictionary>();
    FileBlock::Builder builder(records.size());
    for (const UsageRecord& r : records)
        builder.add({}, dictionary->rowOf(r));
    std::vector<std::shared_ptr<const FileBlock>> blocks;
    blocks.push_back(builder.finish());
    return RequestTable(std::move(dictionary), std::move(blocks));
}

std::vector<UsageRecord> RequestTable::records() const {
    std::vector<UsageRecord> out;
    out.reserve(size());
    for (const RequestRow& r : *this)
        out.push_back(record(r));
    return out;
}

} // namespace vantery
