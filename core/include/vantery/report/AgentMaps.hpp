#pragma once
// A report's per-agent breakdowns. A long history holds hundreds of thousands of agents,
// and a Bucket in a map node costs about 750 bytes an agent with its per-model counts;
// these hold the same figures in columns, about 180 bytes an agent, and make a Bucket
// when one is asked for. Both enumerate agents in AgentIdentityOrder.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vantery/model/AgentIdentity.hpp"
#include "vantery/report/Bucket.hpp"

namespace vantery {

namespace detail {
class AgentBucketsBuilder;

// An iterator over a map held in columns: `*it` makes the entry at its position;
// `it->second` makes it once and keeps it in the iterator, so a reference to it lives as
// long as the iterator.
template <class Map> class EntryIterator {
  public:
    using Entry = typename Map::Entry;
    using iterator_category = std::input_iterator_tag;
    using value_type = Entry;
    using difference_type = std::ptrdiff_t;
    using reference = Entry;
    using pointer = const Entry*;

    EntryIterator() = default;
    EntryIterator(const Map* of, std::size_t at) : of_(of), at_(at) {}
    EntryIterator(const EntryIterator& o) : of_(o.of_), at_(o.at_) {}
    EntryIterator& operator=(const EntryIterator& o) {
        of_ = o.of_;
        at_ = o.at_;
        made_.reset();
        return *this;
    }
    Entry operator*() const { return of_->entry(at_); }
    const Entry* operator->() const {
        if (!made_) made_.emplace(**this);
        return &*made_;
    }
    EntryIterator& operator++() noexcept {
        ++at_;
        made_.reset();
        return *this;
    }
    EntryIterator operator++(int) {
        auto was = *this;
        ++*this;
        return was;
    }
    friend bool operator==(const EntryIterator& a, const EntryIterator& b) noexcept {
        return a.of_ == b.of_ && a.at_ == b.at_;
    }

  private:
    const Map* of_ = nullptr;
    std::size_t at_ = 0;
    mutable std::optional<Entry> made_;
};

// The index of `agent` in `agents`, which are in AgentIdentityOrder; agents.size() when
// it is not there.
std::size_t indexOfAgent(const std::vector<AgentIdentity>& agents,
                         const AgentIdentity& agent) noexcept;

// What both agent maps read alike: their agents, in AgentIdentityOrder, and the lookups
// and iteration over them. `Map` makes the entry at a position.
template <class Map> class AgentColumns {
  public:
    using const_iterator = EntryIterator<Map>;
    using iterator = const_iterator;
    using key_type = AgentIdentity;

    std::size_t size() const noexcept { return agents_.size(); }
    bool empty() const noexcept { return agents_.empty(); }
    const_iterator begin() const noexcept { return {map(), 0}; }
    const_iterator end() const noexcept { return {map(), agents_.size()}; }
    const_iterator find(const AgentIdentity& agent) const noexcept {
        return {map(), indexOfAgent(agents_, agent)};
    }
    std::size_t count(const AgentIdentity& agent) const noexcept {
        return find(agent) != end() ? 1 : 0;
    }

  protected:
    const Map* map() const noexcept { return static_cast<const Map*>(this); }
    // The position of an agent held; throws std::out_of_range for one that is not.
    std::size_t positionOf(const AgentIdentity& agent) const {
        const std::size_t i = indexOfAgent(agents_, agent);
        if (i == agents_.size()) throw std::out_of_range("agent not in the report");
        return i;
    }

    std::vector<AgentIdentity> agents_;
};
} // namespace detail

/// A total order on agent identities (kind, then raw id, then name), so that maps keyed
/// by agent enumerate deterministically.
struct AgentIdentityOrder {
    bool operator()(const AgentIdentity& a, const AgentIdentity& b) const noexcept;
};

/// Agent → Bucket, read like a sorted map whose entries are made on demand:
/// `for (const auto& [agent, bucket] : buckets)` and `find(agent)->second` give a Bucket
/// by value. The per-agent accessors read one figure without making a Bucket.
class AgentBuckets : public detail::AgentColumns<AgentBuckets> {
  public:
    struct Entry {
        const AgentIdentity& first;
        Bucket second;
    };
    using mapped_type = Bucket;

    /// The agent's bucket; throws std::out_of_range for an agent not held.
    Bucket at(const AgentIdentity& agent) const;

    /// By position, 0 ≤ i < size().
    const AgentIdentity& agent(std::size_t i) const noexcept { return agents_[i]; }
    Bucket bucket(std::size_t i) const;
    Entry entry(std::size_t i) const { return {agents_[i], bucket(i)}; }
    double priced(std::size_t i) const noexcept { return sums_[i].priced; }
    std::int64_t requests(std::size_t i) const noexcept { return sums_[i].requests; }
    std::int64_t unpricedRequests(std::size_t i) const noexcept {
        return sums_[i].unpricedRequests;
    }
    /// The bucket's cost alone.
    CostEstimate cost(std::size_t i) const;

    /// Holds `bucket` for `agent`, replacing what it held; an agent past the last one is
    /// appended without a search.
    void set(const AgentIdentity& agent, const Bucket& bucket);

    friend bool operator==(const AgentBuckets& a, const AgentBuckets& b);

  private:
    friend class detail::AgentBucketsBuilder;
    struct Sums : RequestCounts {
        std::int64_t requests = 0, cacheWriteAssumedRequests = 0, unpricedRequests = 0;
        double priced = 0;
        double first = 0, last = 0; // NaN when absent
    };
    // A model of one agent: counted in modelCounts, named in unpricedModels, or both.
    struct ModelEntry {
        std::uint32_t name = 0;
        std::uint32_t flags = 0;
        std::int64_t count = 0;
    };
    static constexpr std::uint32_t counted = 1, unpriced = 2;

    std::uint32_t nameId(std::string_view name);
    std::size_t modelsBegin(std::size_t i) const noexcept { return i ? modelsEnd_[i - 1] : 0; }

    std::vector<Sums> sums_;
    std::vector<std::uint32_t> modelsEnd_; // agent i's models end there in models_
    std::vector<ModelEntry> models_;
    std::vector<std::string> names_; // model names, by ModelEntry::name
};

/// Agent → text (a session id or a project), read like a sorted map; each distinct text
/// is held once.
class AgentTexts : public detail::AgentColumns<AgentTexts> {
  public:
    struct Entry {
        const AgentIdentity& first;
        const std::string& second;
        /// A copy, as a map of texts by agent holds it.
        operator std::pair<const AgentIdentity, std::string>() const { return {first, second}; }
    };
    using mapped_type = std::string;

    /// The agent's text; throws std::out_of_range for an agent not held.
    const std::string& at(const AgentIdentity& agent) const;
    Entry entry(std::size_t i) const { return {agents_[i], texts_[textOf_[i]]}; }

    /// Holds `text` for `agent`, replacing what it held; an agent past the last one is
    /// appended without a search.
    void set(const AgentIdentity& agent, std::string_view text);
    void erase(const AgentIdentity& agent);

    friend bool operator==(const AgentTexts& a, const AgentTexts& b);

  private:
    friend class detail::AgentBucketsBuilder;
    std::uint32_t textId(std::string_view text);

    std::vector<std::uint32_t> textOf_;
    std::vector<std::string> texts_;
};

} // namespace vantery
