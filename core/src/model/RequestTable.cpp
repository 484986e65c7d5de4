#include "vantery/model/RequestTable.hpp"

#include <algorithm>
#include <bit>
#include <functional>
#include <limits>

#include "base/Hash128.hpp"
#include "base/Parallel.hpp"
#include "model/PrintIndex.hpp"

namespace vantery {

namespace {

constexpr std::int64_t narrowMax = std::numeric_limits<std::uint32_t>::max();

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
    setCounts(row, {r.input, r.output, r.cacheWrite5m, r.cacheWrite1h, r.cacheRead, r.webSearch,
                    r.webFetch});
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
    const RequestCounts both{std::max(a.input, o.input),
                             std::max(a.output, o.output),
                             std::max(a.cacheWrite5m, o.cacheWrite5m),
                             std::max(a.cacheWrite1h, o.cacheWrite1h),
                             std::max(a.cacheRead, o.cacheRead),
                             std::max(a.webSearch, o.webSearch),
                             std::max(a.webFetch, o.webFetch)};
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

KeyPrint KeyPrint::of(std::string_view key) noexcept {
    if (key.empty()) return {};
    const hash128::Value h = hash128::of(key);
    // 0:0 is the empty key's alone.
    const auto hi = static_cast<std::uint32_t>(h.hi);
    return {h.lo, h.lo == 0 && hi == 0 ? 1u : hi};
}

std::string_view FileBlock::KeyReader::operator()(const FileBlock& b, std::size_t i) {
    const std::uint32_t at = b.keyAt_[i];
    if (at & heldFlag) {
        const std::uint32_t k = at & ~heldFlag;
        const std::uint32_t from = k == 0 ? 0 : b.keyEnds_[k - 1];
        return std::string_view(b.keyChars_).substr(from, b.keyEnds_[k] - from);
    }
    return b.source_->text(at, window_);
}

namespace {

constexpr std::uint64_t tagOf(const KeyPrint& p) noexcept {
    return p.lo >> 32 << 32;
}

} // namespace

FileBlock::Builder::Builder(std::size_t expected) : block_(std::make_shared<FileBlock>()) {
    block_->rows_.reserve(expected);
    block_->prints_.reserve(expected);
    block_->keyAt_.reserve(expected);
    index_.assign(std::bit_ceil(std::max<std::size_t>(16, 2 * expected)), 0);
}

FileBlock::Builder::Builder(const FileBlock& from) : block_(std::make_shared<FileBlock>(from)) {
    index_.assign(std::bit_ceil(std::max<std::size_t>(16, 4 * from.size())), 0);
    grow();
}

void FileBlock::Builder::grow() {
    const FileBlock& b = *block_;
    if (b.size() * 2 > index_.size())
        index_.assign(index_.size() * 2, 0);
    else
        std::fill(index_.begin(), index_.end(), 0);
    const std::size_t mask = index_.size() - 1;
    for (std::size_t p = 0; p < b.size(); ++p) {
        if (!b.hasKey(p)) continue;
        std::size_t i = b.prints_[p].lo & mask;
        while (index_[i] != 0)
            i = (i + 1) & mask;
        index_[i] = tagOf(b.prints_[p]) | (p + 1);
    }
}

void FileBlock::Builder::push(const KeyPrint& print, std::uint32_t keyAt, const RequestRow& row) {
    FileBlock& b = *block_;
    if (b.size() >= std::numeric_limits<std::uint32_t>::max() - 1)
        throw std::length_error("block too large");
    b.prints_.push_back(print);
    b.keyAt_.push_back(keyAt);
    b.rows_.push_back(row);
    if (print.empty()) return;
    if (b.size() * 2 > index_.size()) {
        grow();
        return;
    }
    const std::size_t mask = index_.size() - 1;
    std::size_t i = print.lo & mask;
    while (index_[i] != 0)
        i = (i + 1) & mask;
    index_[i] = tagOf(print) | b.size();
}

void FileBlock::Builder::add(std::string_view key, const RequestRow& row) {
    FileBlock& b = *block_;
    if (b.keyChars_.size() + key.size() >= heldFlag || b.keyEnds_.size() >= heldFlag)
        throw std::length_error("block too large");
    const auto number = static_cast<std::uint32_t>(b.keyEnds_.size());
    b.keyChars_.append(key);
    b.keyEnds_.push_back(static_cast<std::uint32_t>(b.keyChars_.size()));
    push(KeyPrint::of(key), heldFlag | number, row);
}

void FileBlock::Builder::add(const KeyPrint& print, const std::shared_ptr<const KeySource>& source,
                             std::uint32_t at, const RequestRow& row) {
    FileBlock& b = *block_;
    if (at & heldFlag) throw std::length_error("key source too large");
    if (!b.source_) b.source_ = source;
    if (b.source_ != source) throw std::logic_error("a block has one key source");
    push(print, at, row);
}

std::optional<std::size_t> FileBlock::Builder::find(const KeyPrint& print) const {
    if (print.empty()) return std::nullopt;
    const FileBlock& b = *block_;
    const std::size_t mask = index_.size() - 1;
    for (std::size_t i = print.lo & mask; index_[i] != 0; i = (i + 1) & mask) {
        if ((index_[i] & ~std::uint64_t{0xffffffff}) != tagOf(print)) continue;
        const std::size_t p = (index_[i] & 0xffffffffu) - 1;
        if (b.prints_[p] == print) return p;
    }
    return std::nullopt;
}

std::shared_ptr<const FileBlock> FileBlock::Builder::finish() {
    index_ = {};
    block_->rows_.shrink_to_fit();
    block_->prints_.shrink_to_fit();
    block_->keyAt_.shrink_to_fit();
    block_->keyChars_.shrink_to_fit();
    block_->keyEnds_.shrink_to_fit();
    return std::move(block_);
}

// MARK: - Table

RequestTable::RequestTable() : dictionary_(std::make_shared<RequestDictionary>()) {
    sizes_ = dictionary_->sizes();
    closeRuns();
}

void RequestTable::addRow(const RequestRow* row) {
    if (runs_.empty() || runs_.back().first + (size_ - runs_.back().start) != row)
        runs_.push_back({row, size_});
    ++size_;
}

void RequestTable::closeRuns() {
    runs_.push_back({nullptr, size_});
    runs_.shrink_to_fit();
}

const RequestRow& RequestTable::operator[](std::size_t i) const noexcept {
    return *at(i);
}

RequestTable::Iterator RequestTable::at(std::size_t i) const noexcept {
    if (i >= size_) return end();
    const auto run = std::upper_bound(runs_.begin(), runs_.end() - 1, i,
                                      [](std::size_t p, const Run& r) { return p < r.start; }) -
                     1;
    return Iterator(&*run, i - run->start);
}

namespace {

// What unifying found for one row, by its position over all blocks.
constexpr std::uint32_t repeatMark = std::numeric_limits<std::uint32_t>::max();

} // namespace

RequestTable::RequestTable(std::shared_ptr<RequestDictionary> dictionary,
                           std::vector<std::shared_ptr<const FileBlock>> blocks, Keys keys)
    : dictionary_(dictionary), blocks_(std::move(blocks)) {
    std::vector<std::size_t> offset(blocks_.size() + 1, 0);
    for (std::size_t b = 0; b < blocks_.size(); ++b)
        offset[b + 1] = offset[b] + blocks_[b]->size();
    const std::size_t total = offset.back();
    if (total >= repeatMark) throw std::length_error("too many requests");
    if (keys == Keys::distinct) {
        for (const auto& block : blocks_) {
            if (block->empty()) continue;
            runs_.push_back({&block->row(0), size_});
            size_ += block->size();
        }
        closeRuns();
        sizes_ = dictionary_->sizes();
        return;
    }

    // Keys are split into partitions by hash; each partition walks every row in
    // canonical order and unifies its own keys. A key's outcome depends only on the
    // order of its own meetings, so it is the same for any number of partitions.
    // state[position]: 0 for a request's first meeting kept as it is, 1 + its position
    // in the partition's merged rows when later meetings folded into it, repeatMark
    // for a later meeting.
    std::vector<std::uint32_t> state(total, 0);
    const std::size_t partitions =
        total < 65'536 ? 1 : std::min<std::size_t>(parallel::maxThreads(), 64);
    std::vector<std::vector<RequestRow>> merged(partitions);
    std::vector<const FileBlock*> plain;
    plain.reserve(blocks_.size());
    for (const auto& block : blocks_)
        plain.push_back(block.get());
    parallel::forEach(partitions, [&](std::size_t partition) {
        detail::PrintIndex index(plain, total / partitions);
        std::vector<RequestRow>& rows = merged[partition];
        std::size_t position = 0;
        for (std::uint32_t b = 0; b < blocks_.size(); ++b) {
            const FileBlock& block = *blocks_[b];
            for (std::uint32_t i = 0; i < block.size(); ++i, ++position) {
                const KeyPrint& print = block.keyPrint(i);
                if (partitions > 1 && (print.lo >> 58) % partitions != partition) continue;
                if (print.empty()) continue; // never unified: its own request
                const std::size_t firstAt = index.firstOf(print, position);
                if (firstAt == position) continue;
                // A later meeting: the first block's fields, the largest counters and
                // the earliest time.
                state[position] = repeatMark;
                std::uint32_t& first = state[firstAt];
                if (first == 0) {
                    const auto [fb, fr] = index.blockRow(firstAt);
                    rows.push_back(blocks_[fb]->row(fr));
                    first = static_cast<std::uint32_t>(rows.size());
                }
                RequestRow& m = rows[first - 1];
                const RequestRow& o = block.row(i);
                dictionary->fold(m, dictionary_->counts(o), o.timestamp);
            }
        }
    });

    // The merged rows in table order, so that a stretch of requests met again in
    // another file stays one run.
    std::size_t mergedCount = 0;
    for (const auto& m : merged)
        mergedCount += m.size();
    merged_.reserve(mergedCount);
    auto partitionOf = [&](const FileBlock& block, std::size_t i) {
        return partitions > 1 ? (block.keyPrint(i).lo >> 58) % partitions : 0;
    };
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
        const FileBlock& block = *blocks_[b];
        for (std::size_t i = 0; i < block.size(); ++i)
            if (const std::uint32_t s = state[offset[b] + i]; s != 0 && s != repeatMark)
                merged_.push_back(merged[partitionOf(block, i)][s - 1]);
    }
    merged = {};

    const RequestRow* next = merged_.data();
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
        const FileBlock& block = *blocks_[b];
        for (std::size_t i = 0; i < block.size(); ++i) {
            const std::uint32_t s = state[offset[b] + i];
            if (s == 0)
                addRow(&block.row(i));
            else if (s != repeatMark)
                addRow(next++);
        }
    }
    closeRuns();
    sizes_ = dictionary_->sizes();
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
