// The full verification: every cached file read again up to where the cache read it,
// into fresh blocks, compared with the cache request by request.
#include <algorithm>
#include <chrono>
#include <unordered_set>

#include "base/FileIO.hpp"
#include "base/Parallel.hpp"
#include "ingest/FileReading.hpp"
#include "vantery/base/Calendar.hpp"
#include "vantery/base/ProbeIndex.hpp"
#include "vantery/cache/ScanCache.hpp"
#include "vantery/ingest/Scanner.hpp"

namespace vantery {
namespace {

// The position in a table of each of its keys: the blocks are walked in the table's
// order and each key's first meeting numbered, which is exactly how the table orders
// its rows. Probes on the blocks' key prints; 16 bytes per request.
class KeyPositions {
  public:
    explicit KeyPositions(const RequestTable& table) : table_(table), index_(table.size() + 1) {
        where_.reserve(table.size());
        const auto& blocks = table.blocks();
        for (std::uint32_t b = 0; b < blocks.size(); ++b)
            for (std::uint32_t i = 0; i < blocks[b]->size(); ++i) {
                const KeyPrint& print = blocks[b]->keyPrint(i);
                if (!print.empty() &&
                    !index_.findOrAdd(*this, print, print.lo, where_.size()).second)
                    continue; // a later meeting
                where_.emplace_back(b, i);
            }
    }

    /// The table position of a key, if the table holds it.
    std::optional<std::size_t> find(const KeyPrint& print) const {
        if (print.empty()) return std::nullopt;
        return index_.find(*this, print, print.lo);
    }

    /// The key of the request at a table position.
    const KeyPrint& keyAt(std::size_t p) const {
        return table_.blocks()[where_[p].first]->keyPrint(where_[p].second);
    }
    std::uint64_t hashAt(std::size_t p) const { return keyAt(p).lo; }
    std::size_t size() const noexcept { return where_.size(); }

  private:
    const RequestTable& table_;
    detail::ProbeIndex<> index_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> where_; ///< (block, row) by position
};

// The priced cost of a table, summed in its canonical order.
double costOf(const RequestTable& table, const Calendar& calendar) {
    double sum = 0;
    for (const RequestRow& row : table) {
        const UsageRecord r = table.record(row);
        auto cost = r.cost(calendar.dayOf(r.timestamp));
        if (cost.isKnown()) sum += cost.knownValue();
    }
    return sum;
}

} // namespace

ScanCache::VerificationResult
ScanCache::verifyAgainstFullScan(const std::vector<SourceHome>& homes) {
    return *verifyAgainstFullScan(homes, std::stop_token());
}

std::optional<ScanCache::VerificationResult>
ScanCache::verifyAgainstFullScan(const std::vector<SourceHome>& homes, std::stop_token stop) {
    const auto start = std::chrono::steady_clock::now();
    FileTable snap;
    std::shared_ptr<RequestDictionary> cachedDictionary;
    {
        std::lock_guard g(lock_);
        snap = files_;
        cachedDictionary = dictionary_;
    }

    // The cached blocks in list order, then those of cached files no longer listed.
    const std::vector<TranscriptFile> list = Scanner::fileList(homes, nullptr);
    VerificationResult v;
    std::vector<std::size_t> jobs;
    std::vector<const FileState*> entries;
    std::vector<std::shared_ptr<const FileBlock>> cachedBlocks;
    std::unordered_set<std::string_view> listed;
    for (std::size_t i = 0; i < list.size(); ++i) {
        auto attrs = fileio::attributesOf(list[i].path);
        auto it = snap.find(list[i].path);
        if (it == snap.end()) {
            if (attrs) v.bytesNotCompared += attrs->size;
            continue;
        }
        if (!listed.insert(it->first).second) continue;
        if (attrs && attrs->size > it->second.consumed)
            v.bytesNotCompared += attrs->size - it->second.consumed;
        jobs.push_back(i);
        entries.push_back(&it->second);
        cachedBlocks.push_back(it->second.block);
    }
    for (const auto& [path, state] : snap)
        if (!listed.count(path)) cachedBlocks.push_back(state.block);

    auto freshDictionary = std::make_shared<RequestDictionary>();
    std::vector<std::shared_ptr<const FileBlock>> freshBlocks(jobs.size());
    try {
        parallel::forEach(jobs.size(), [&](std::size_t j) {
            if (stop.stop_requested()) throw detail::Stopped{};
            try {
                // What was read before a read error still counts.
                freshBlocks[j] = detail::readFile(list[jobs[j]], 0, entries[j]->consumed, nullptr,
                                                  *freshDictionary, stop)
                                     .block;
            } catch (const std::exception&) {
                // One file too large to hold never fails the verification.
                freshBlocks[j] = FileBlock::Builder().finish();
            }
        });
    } catch (const detail::Stopped&) {
        return std::nullopt;
    }
    if (stop.stop_requested()) return std::nullopt;

    const RequestTable cached(cachedDictionary, std::move(cachedBlocks));
    const RequestTable fresh(freshDictionary, std::move(freshBlocks));
    const Calendar calendar = Calendar::current();
    v.cachedCost = costOf(cached, calendar);
    v.freshCost = costOf(fresh, calendar);
    if (stop.stop_requested()) return std::nullopt;

    {
        const KeyPositions cachedKeys(cached);
        const KeyPositions freshKeys(fresh);
        std::vector<char> matched(cached.size(), 0);
        for (std::size_t p = 0; p < freshKeys.size(); ++p) {
            auto q = cachedKeys.find(freshKeys.keyAt(p));
            if (!q) {
                v.missingFromCache += 1;
                continue;
            }
            matched[*q] = 1;
            if (!fresh.counts(fresh[p]).sameTokens(cached.counts(cached[*q])))
                v.mismatchedRecords += 1;
        }
        v.extraInCache = static_cast<std::int64_t>(std::count(matched.begin(), matched.end(), 0));
    }

    v.cachedRequests = static_cast<std::int64_t>(cached.size());
    v.freshRequests = static_cast<std::int64_t>(fresh.size());
    v.arrivedDuringCheck = 0;
    v.checkedAt = fileio::now();
    v.duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::lock_guard g(lock_);
    lastVerification_ = v;
    return v;
}

} // namespace vantery
