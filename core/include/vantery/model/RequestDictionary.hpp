#pragma once
// The texts, agents and wide counters that request rows refer to, each stored once.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "vantery/base/StableArray.hpp"
#include "vantery/model/AgentIdentity.hpp"
#include "vantery/model/RequestRow.hpp"
#include "vantery/model/UsageRecord.hpp"

namespace vantery {

/// The texts, agents and wide counters that rows refer to, each stored once. Append
/// only: ids stay valid for the dictionary's life. Interning is serialised by a lock;
/// reading an id that a row holds takes no lock and is safe while others intern.
/// Ids are given in the order texts are first interned, which depends on thread timing:
/// nothing may order output by id.
class RequestDictionary {
  public:
    RequestDictionary();
    RequestDictionary(const RequestDictionary&) = delete;
    RequestDictionary& operator=(const RequestDictionary&) = delete;

    std::uint32_t internModel(std::string_view text);
    std::uint32_t internSession(std::string_view text);
    std::uint32_t internCwd(std::string_view text);
    /// Homes are few; more than 255 distinct names throw std::length_error.
    std::uint8_t internHome(std::string_view text);
    /// 0 for the main session.
    std::uint32_t internAgent(const AgentIdentity& agent);
    std::uint32_t internWide(const RequestCounts& counts);

    std::string_view model(std::uint32_t id) const noexcept { return models_.texts[id]; }
    std::string_view session(std::uint32_t id) const noexcept { return sessions_.texts[id]; }
    std::string_view cwd(std::uint32_t id) const noexcept { return cwds_.texts[id]; }
    std::string_view home(std::uint8_t id) const noexcept { return homes_.texts[id]; }
    const AgentIdentity& agent(std::uint32_t id) const noexcept { return agents_[id]; }
    const RequestCounts& wide(std::uint32_t id) const noexcept { return wides_[id]; }

    /// The id of a text already interned; absent otherwise (for filters).
    std::optional<std::uint32_t> findModel(std::string_view text) const;
    std::optional<std::uint32_t> findSession(std::string_view text) const;
    std::optional<std::uint32_t> findCwd(std::string_view text) const;
    std::optional<std::uint32_t> findHome(std::string_view text) const;
    std::optional<std::uint32_t> findAgent(const AgentIdentity& agent) const;

    /// How many ids of each kind exist now; arrays indexed by id are sized by these.
    struct Sizes {
        std::size_t models = 0, sessions = 0, cwds = 0, homes = 0, agents = 0;
    };
    Sizes sizes() const noexcept;

    /// The row of a request, its texts interned. Never fails but by running out of memory.
    RequestRow rowOf(const UsageRecord& record);
    /// Sets a row's counters: in the row when they fit, else interned as wide counters.
    void setCounts(RequestRow& row, const RequestCounts& counts);
    /// Folds another sighting of the same request into a row, within a file and across
    /// files alike: each counter its largest, the time its earliest.
    void fold(RequestRow& row, const RequestCounts& other, double timestamp);
    /// The counters of a row at full width.
    RequestCounts counts(const RequestRow& row) const noexcept {
        if (row.wide()) return wide(row.input);
        return {row.input,     row.output, row.cacheWrite5m, row.cacheWrite1h, row.cacheRead,
                row.webSearch, 0};
    }
    /// The row as a plain record; sourceRank is left at its default.
    UsageRecord record(const RequestRow& row) const;

  private:
    struct Pool {
        detail::StableArray<std::string> texts;
        std::unordered_map<std::string, std::uint32_t> index;
        std::uint32_t intern(std::string_view text);
        std::optional<std::uint32_t> find(std::string_view text) const;
    };
    static std::string agentKey(const AgentIdentity& agent);
    /// A pool's lookup under the dictionary's lock.
    std::optional<std::uint32_t> findIn(const Pool& pool, std::string_view text) const;

    mutable std::mutex lock_;
    Pool models_, sessions_, cwds_, homes_;
    detail::StableArray<AgentIdentity> agents_;
    std::unordered_map<std::string, std::uint32_t> agentIndex_;
    detail::StableArray<RequestCounts> wides_;
};

} // namespace vantery
