#pragma once
// Fills a report's agent columns from the aggregation's accumulators: the agents' sums
// in stretches on several threads, each stretch's model entries apart, then joined.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "report/BucketSums.hpp"
#include "report/SortedFill.hpp"
#include "vantery/report/AgentMaps.hpp"

namespace vantery::detail {

class AgentBucketsBuilder {
  public:
    // Room for stretches.count() stretches of agents; `names` are the model names that
    // put() numbers models by.
    AgentBucketsBuilder(AgentBuckets& out, const Stretches& stretches, std::size_t agents,
                        std::vector<std::string> names)
        : out_(out), stretches_(stretches), parts_(stretches.count()) {
        out_ = AgentBuckets();
        out_.agents_.resize(agents);
        out_.sums_.resize(agents);
        out_.modelsEnd_.resize(agents);
        out_.names_ = std::move(names);
    }

    // Agent k of stretch s, with its models: forEachModel(emit) calls
    // emit(name, count, priced) for each model with requests, in name order. Each stretch
    // is filled by one thread at a time, its agents in order.
    template <class ForEachModel>
    void put(std::size_t s, std::size_t k, const AgentIdentity& agent, const Sums& sums,
             const ForEachModel& forEachModel) {
        AgentBuckets::Sums& to = out_.sums_[k];
        copyCounters(to, sums);
        to.priced = sums.priced;
        const double none = std::numeric_limits<double>::quiet_NaN();
        to.first = sums.requests > 0 ? sums.first : none;
        to.last = sums.requests > 0 ? sums.last : none;
        std::vector<AgentBuckets::ModelEntry>& models = parts_[s];
        std::int64_t unpricedRequests = 0;
        forEachModel([&](std::uint32_t name, std::int64_t count, bool priced) {
            std::uint32_t flags = AgentBuckets::counted;
            if (!priced) {
                flags |= AgentBuckets::unpriced;
                unpricedRequests = satAdd(unpricedRequests, count);
            }
            models.push_back({name, flags, count});
        });
        to.unpricedRequests = unpricedRequests;
        out_.agents_[k] = agent;
        out_.modelsEnd_[k] = static_cast<std::uint32_t>(models.size()); // within the stretch
    }

    // Joins the stretches' model entries; call once every put() has returned.
    void finish() {
        std::size_t total = 0;
        for (const auto& part : parts_)
            total += part.size();
        out_.models_.reserve(total);
        for (std::size_t s = 0; s < parts_.size(); ++s) {
            const auto offset = static_cast<std::uint32_t>(out_.models_.size());
            for (std::size_t k = stretches_.begin(s); k < stretches_.end(s); ++k)
                out_.modelsEnd_[k] += offset;
            out_.models_.insert(out_.models_.end(), parts_[s].begin(), parts_[s].end());
            std::vector<AgentBuckets::ModelEntry>().swap(parts_[s]);
        }
    }

    // Agent texts from columns already in the order of `agents`.
    static AgentTexts texts(std::vector<AgentIdentity> agents, std::vector<std::uint32_t> textOf,
                            std::vector<std::string> texts) {
        AgentTexts out;
        out.agents_ = std::move(agents);
        out.textOf_ = std::move(textOf);
        out.texts_ = std::move(texts);
        return out;
    }
    static const std::vector<AgentIdentity>& agents(const AgentBuckets& b) { return b.agents_; }

  private:
    AgentBuckets& out_;
    const Stretches& stretches_;
    std::vector<std::vector<AgentBuckets::ModelEntry>> parts_;
};

} // namespace vantery::detail
