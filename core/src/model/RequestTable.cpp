#include "vantery/model/RequestTable.hpp"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "base/Parallel.hpp"
#include "model/PrintIndex.hpp"

namespace vantery {

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
