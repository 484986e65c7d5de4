#pragma once
// The request dictionary a full-scan worker fills. An open-addressing index of 8 bytes
// per slot over the requests in insertion order: looking a request up touches one
// index slot and, on a match, the request, where RequestMap walks a bucket chain
// through scattered nodes. Each key's hash is kept, so that the workers' tables can
// be combined by partitions of the hash.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vantery/ingest/Scanner.hpp"
#include "vantery/model/UsageRecord.hpp"

namespace vantery::detail {

class RecordTable {
  public:
    /// A request's key and record in a node of RequestMap's own type: the node is
    /// allocated and filled by the worker, and later linked into the scan's one map
    /// without being copied or allocated again.
    using Node = RequestMap::node_type;

    /// The hash RequestMap gives the same key.
    static std::size_t hashOf(std::string_view key) noexcept {
        return std::hash<std::string_view>{}(key);
    }

    explicit RecordTable(std::size_t expected = 0) {
        nodes_.reserve(expected);
        hashes_.reserve(expected);
        std::size_t slots = 16;
        while (slots < 2 * expected)
            slots *= 2;
        index_.assign(slots, 0);
    }
    RecordTable(RecordTable&&) noexcept = default;
    RecordTable& operator=(RecordTable&&) noexcept = default;

    /// The node of `key`, added with a default record when missing; `added` tells which.
    Node& findOrAdd(std::string_view key, bool& added) {
        const std::size_t h = hashOf(key);
        if ((size() + 1) * 2 > index_.size()) grow();
        const std::size_t mask = index_.size() - 1;
        const auto tag = static_cast<std::uint32_t>(static_cast<std::uint64_t>(h) >> 32);
        for (std::size_t i = h & mask;; i = (i + 1) & mask) {
            const std::uint64_t s = index_[i];
            if (s == 0) {
                Node& n = append(key, h);
                index_[i] = (static_cast<std::uint64_t>(tag) << 32) | size();
                lastSlot_ = i;
                added = true;
                return n;
            }
            if (static_cast<std::uint32_t>(s >> 32) == tag) {
                Node& n = nodes_[static_cast<std::size_t>(s & 0xffffffffu) - 1];
                if (n.key() == key) {
                    added = false;
                    return n;
                }
            }
        }
    }

    /// Takes back the node the last findOrAdd added.
    void dropLast() {
        index_[lastSlot_] = 0;
        nodes_.pop_back();
        hashes_.pop_back();
    }

    std::size_t size() const noexcept { return nodes_.size(); }
    Node& at(std::size_t i) { return nodes_[i]; }
    std::size_t hashAt(std::size_t i) const { return hashes_[i]; }

  private:
    Node& append(std::string_view key, std::size_t h) {
        // A node can only be had from a map: made in an always empty one and taken out.
        auto made = nursery_.try_emplace(std::string(key)).first;
        nodes_.push_back(nursery_.extract(made));
        try {
            hashes_.push_back(h);
        } catch (...) {
            nodes_.pop_back();
            throw;
        }
        return nodes_.back();
    }

    void grow() {
        std::vector<std::uint64_t> bigger(index_.size() * 2, 0);
        const std::size_t mask = bigger.size() - 1;
        for (std::size_t p = 0; p < size(); ++p) {
            const std::size_t h = hashes_[p];
            std::size_t i = h & mask;
            while (bigger[i] != 0)
                i = (i + 1) & mask;
            bigger[i] = (static_cast<std::uint64_t>(h) >> 32 << 32) | (p + 1);
        }
        index_ = std::move(bigger);
    }

    RequestMap nursery_;
    std::vector<Node> nodes_;
    std::vector<std::size_t> hashes_;
    std::vector<std::uint64_t> index_; ///< tag << 32 | (1 + position); 0 is an empty slot
    std::size_t lastSlot_ = 0;
};

/// Scanner::ingest into a worker's table; the same outcome as into a RequestMap.
void ingest(std::string_view line, const std::string& path, const std::string& home,
            std::int64_t rank, RecordTable& into, ScanDiagnostics& diag,
            Scanner::LastRequest& last);

} // namespace vantery::detail
