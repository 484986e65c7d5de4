#include "vantery/report/FileContributions.hpp"

#include <algorithm>
#include <functional>
#include <string_view>

#include "pricing/DayPricing.hpp"
#include "report/BucketSums.hpp"

namespace vantery {
namespace {

// How many files hold each request key. A million keys are met on a large home:
// sorting their hashes touches memory in order, where a hash table of that size
// would miss the cache on nearly every key.
class KeyCopies {
  public:
    explicit KeyCopies(std::size_t expected) { keys_.reserve(expected); }

    void add(std::string_view key) { keys_.push_back({std::hash<std::string_view>{}(key), key}); }

    /// Counts the distinct keys and those held by two files or more.
    void count(std::int64_t& distinct, std::int64_t& duplicated) {
        // Spread by the hash's top bits, then sort each small group.
        constexpr int bits = 16;
        std::vector<std::size_t> start((std::size_t{1} << bits) + 1, 0);
        auto group = [](const Key& k) { return k.hash >> (8 * sizeof(std::size_t) - bits); };
        for (const Key& k : keys_)
            ++start[group(k) + 1];
        for (std::size_t g = 1; g < start.size(); ++g)
            start[g] += start[g - 1];
        std::vector<Key> spread(keys_.size());
        std::vector<std::size_t> next(start.begin(), start.end() - 1);
        for (const Key& k : keys_)
            spread[next[group(k)]++] = k;
        keys_.clear();
        keys_.shrink_to_fit();
        for (std::size_t g = 0; g + 1 < start.size(); ++g) {
            auto first = spread.begin() + static_cast<std::ptrdiff_t>(start[g]);
            auto last = spread.begin() + static_cast<std::ptrdiff_t>(start[g + 1]);
            std::sort(first, last, [](const Key& a, const Key& b) {
                if (a.hash != b.hash) return a.hash < b.hash;
                return a.text < b.text;
            });
        }
        for (std::size_t i = 0; i < spread.size();) {
            std::size_t j = i + 1;
            while (j < spread.size() && spread[j].hash == spread[i].hash &&
                   spread[j].text == spread[i].text)
                ++j;
            ++distinct;
            if (j - i >= 2) ++duplicated;
            i = j;
        }
    }

  private:
    struct Key {
        std::size_t hash;
        std::string_view text;
    };
    std::vector<Key> keys_;
};

} // namespace

FileContributions FileContributions::of(std::span<const ScanCache::FileProvenance> files,
                                        const Calendar& calendar, std::optional<LocalDay> from,
                                        std::optional<LocalDay> to,
                                        const std::function<bool(const RequestRow&)>& keepRow) {
    // TRANSITIONAL: over materialised records.
    using Entry = std::pair<const std::string, UsageRecord>;
    std::vector<std::vector<Entry>> held(files.size());
    std::vector<std::vector<const RequestRow*>> rowOf(files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        if (files[i].block)
            for (std::size_t k = 0; k < files[i].block->size(); ++k) {
                held[i].emplace_back(std::string(files[i].block->key(k)),
                                     files[i].dictionary->record(files[i].block->row(k)));
                rowOf[i].push_back(&files[i].block->row(k));
            }
    struct Counted {
        const Entry* entry;
        std::int32_t day;
    };

    detail::LocalClock clock(calendar);
    detail::PriceBook book;
    detail::Axis sums; // one key per contributing file
    std::vector<std::size_t> contributing;
    std::size_t held_count = 0;
    for (const auto& file : files)
        held_count += file.block ? file.block->size() : 0;
    KeyCopies copies(held_count);
    std::vector<Counted> counted;

    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!files[i].block) continue;
        counted.clear();
        for (const Entry& entry : held[i]) {
            std::int32_t day = 0;
            int hour = 0;
            clock.dayAndHour(entry.second.timestamp, day, hour);
            if (from && day < from->daysSinceEpoch()) continue;
            if (to && day > to->daysSinceEpoch()) continue;
            if (keepRow && !keepRow(*rowOf[i][static_cast<std::size_t>(&entry - held[i].data())]))
                continue;
            counted.push_back({&entry, day});
        }
        if (counted.empty()) continue;
        std::sort(counted.begin(), counted.end(), [](const Counted& a, const Counted& b) {
            return a.entry->first < b.entry->first;
        });
        const auto key = static_cast<std::uint32_t>(contributing.size());
        contributing.push_back(i);
        sums.ensureKeys(contributing.size());
        for (const Counted& c : counted) {
            const UsageRecord& r = c.entry->second;
            bool added = false;
            const std::uint32_t model = book.model(r.model, c.day, added);
            if (added) sums.ensureModels(book.names.size());
            sums.add(key, model, r, book.cost(model, c.day, r));
            copies.add(c.entry->first);
        }
    }

    FileContributions out;
    copies.count(out.distinctRequests, out.duplicatedRequests);
    out.files.reserve(contributing.size());
    for (std::uint32_t k = 0; k < contributing.size(); ++k)
        out.files.push_back({contributing[k], sums.bucket(k, book.names, book.priced)});
    std::stable_sort(out.files.begin(), out.files.end(),
                     [](const FileContribution& a, const FileContribution& b) {
                         return a.bucket.cost.priced > b.bucket.cost.priced;
                     });
    return out;
}

} // namespace vantery
