#include "vantery/report/FileContributions.hpp"

#include <algorithm>
#include <functional>
#include <string_view>

#include "report/BucketSums.hpp"
#include "report/DayPricing.hpp"

namespace vantery {
namespace {

// How many files hold each request key. A million keys are met on a large home:
// sorting their hashes touches memory in order, where a hash table of that size
// would miss the cache on nearly every key.
class KeyCopies {
  public:
    explicit KeyCopies(std::size_t expected) { keys_.reserve(expected); }

    void add(const KeyPrint& print) { keys_.push_back(print); }

    /// Counts the distinct keys and those held by two files or more.
    void count(std::int64_t& distinct, std::int64_t& duplicated) {
        // Spread by the print's top bits, then sort each small group.
        constexpr int bits = 16;
        std::vector<std::size_t> start((std::size_t{1} << bits) + 1, 0);
        auto group = [](const KeyPrint& k) { return k.lo >> (64 - bits); };
        for (const KeyPrint& k : keys_)
            ++start[group(k) + 1];
        for (std::size_t g = 1; g < start.size(); ++g)
            start[g] += start[g - 1];
        std::vector<KeyPrint> spread(keys_.size());
        std::vector<std::size_t> next(start.begin(), start.end() - 1);
        for (const KeyPrint& k : keys_)
            spread[next[group(k)]++] = k;
        keys_.clear();
        keys_.shrink_to_fit();
        for (std::size_t g = 0; g + 1 < start.size(); ++g) {
            auto first = spread.begin() + static_cast<std::ptrdiff_t>(start[g]);
            auto last = spread.begin() + static_cast<std::ptrdiff_t>(start[g + 1]);
            std::sort(first, last, [](const KeyPrint& a, const KeyPrint& b) {
                return a.lo != b.lo ? a.lo < b.lo : a.hi < b.hi;
            });
        }
        for (std::size_t i = 0; i < spread.size();) {
            std::size_t j = i + 1;
            while (j < spread.size() && spread[j] == spread[i])
                ++j;
            ++distinct;
            if (j - i >= 2) ++duplicated;
            i = j;
        }
    }

  private:
    std::vector<KeyPrint> keys_;
};

} // namespace

FileContributions FileContributions::of(std::span<const ScanCache::FileProvenance> files,
                                        const Calendar& calendar, std::optional<LocalDay> from,
                                        std::optional<LocalDay> to,
                                        const std::function<bool(const RequestRow&)>& keepRow) {
    detail::LocalClock clock(calendar);
    detail::PriceBook book;
    detail::Axis sums; // one key per contributing file
    std::vector<std::size_t> contributing;
    std::size_t held = 0;
    for (const auto& file : files)
        held += file.block ? file.block->size() : 0;
    KeyCopies copies(held);

    for (std::size_t i = 0; i < files.size(); ++i) {
        const FileProvenance& file = files[i];
        if (!file.block || !file.dictionary) continue;
        const FileBlock& block = *file.block;
        book.use(*file.dictionary, file.dictionary->sizes().models);
        std::uint32_t key = 0;
        bool any = false;
        // In block order, the order the file met its requests: the same on every run.
        for (std::size_t k = 0; k < block.size(); ++k) {
            const RequestRow& r = block.row(k);
            std::int32_t day = 0;
            int hour = 0;
            clock.dayAndHour(r.timestamp, day, hour);
            if (from && day < from->daysSinceEpoch()) continue;
            if (to && day > to->daysSinceEpoch()) continue;
            if (keepRow && !keepRow(r)) continue;
            if (!any) {
                any = true;
                key = static_cast<std::uint32_t>(contributing.size());
                contributing.push_back(i);
                sums.ensureKeys(contributing.size());
            }
            bool added = false;
            const std::uint32_t model = book.model(r.model, day, added);
            if (added) sums.ensureModels(book.size());
            const RequestCounts c = file.dictionary->counts(r);
            sums.add(key, model, c, r.timestamp, r.cacheWriteBreakdownAssumed(),
                     book.cost(model, day, c));
            copies.add(block.keyPrint(k));
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
