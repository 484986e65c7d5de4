#include "vantery/cache/ScanCache.hpp"

#include <algorithm>
#include <chrono>
#include <fmt/format.h>
#include <functional>
#include <unistd.h>
#include <unordered_set>

#include "base/FileIO.hpp"
#include "base/Parallel.hpp"
#include "ingest/FileReading.hpp"
#include "vantery/base/Calendar.hpp"
#include "vantery/base/Paths.hpp"
#include "vantery/base/Saturating.hpp"
#include "vantery/cache/CacheLocation.hpp"
#include "vantery/ingest/Scanner.hpp"

namespace vantery {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A file's counters after a pass that read `read` on top of `base`.
ScanCache::FileDiagnostics plus(const ScanCache::FileDiagnostics& base,
                                const ScanDiagnostics& read) {
    ScanCache::FileDiagnostics r = base;
    r.accumulate(read);
    r.longestLineBytes = std::max(base.longestLineBytes, read.longestLineBytes);
    return r;
}

} // namespace

// MARK: - Small value types

void ScanCache::FileDiagnostics::apply(ScanDiagnostics& diag, const std::string& path) const {
    diag.accumulate(lines());
    if (longestLineBytes > diag.longestLineBytes) {
        diag.longestLineBytes = longestLineBytes;
        diag.longestLinePath = path;
    }
}

Estimate<double> ScanCache::RefreshStats::savedFraction() const {
    if (filesTotal < 1) return Estimate<double>::unknown(UnknownReason::noData());
    return Estimate<double>::known(static_cast<double>(filesUnchanged) /
                                   static_cast<double>(filesTotal));
}

bool ScanCache::VerificationResult::isClean() const noexcept {
    return missingFromCache == 0 && extraInCache == 0 && mismatchedRecords == 0;
}

std::string ScanCache::VerificationResult::summary() const {
    if (isClean()) {
        std::string s = fmt::format(
            "divergence 0 \u2014 the cache matches a full scan exactly ({} request{} verified)",
            freshRequests, freshRequests == 1 ? "" : "s");
        if (bytesNotCompared != 0)
            s += fmt::format("; {:.1f} MB written after the cache were not compared (they are "
                             "not in it, by definition)",
                             static_cast<double>(bytesNotCompared) / 1'048'576.0);
        return s;
    }
    std::vector<std::string> parts;
    if (missingFromCache != 0)
        parts.push_back(fmt::format("{} missing from cache", missingFromCache));
    if (extraInCache != 0) parts.push_back(fmt::format("{} extra in cache", extraInCache));
    if (mismatchedRecords != 0)
        parts.push_back(fmt::format("{} with different figures", mismatchedRecords));
    std::string s = "DIVERGENCE: ";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) s += ", ";
        s += parts[i];
    }
    return s;
}

// MARK: - Location

ScanCache::ScanCache(const paths::Environment& env)
    : storePath_(cachefile::location(env).value_or(std::string())) {}

ScanCache::ScanCache() : ScanCache(paths::processEnvironment()) {}

ScanCache::ScanCache(std::string storePath) : storePath_(std::move(storePath)) {}

// MARK: - Table access

std::vector<ScanCache::FileProvenance> ScanCache::recordsPerFile() const {
    std::lock_guard g(lock_);
    std::vector<FileProvenance> out;
    out.reserve(files_.size());
    for (const auto& [path, state] : files_)
        out.push_back(FileProvenance{path, state.diag.usageLines, state.block, dictionary_});
    return out;
}

void ScanCache::clear() {
    FileTable old; // freed after the lock is released
    std::shared_ptr<const RequestTable> oldMerged;
    std::lock_guard g(lock_);
    dictionary_ = std::make_shared<RequestDictionary>();
    old.swap(files_);
    keysDistinct_ = true;
    lastVerification_.reset();
    oldMerged.swap(merged_);
    mergedFrom_.clear();
    ++tableVersion_;
    fileVersion_.reset();
    // Only a cache file is ever removed, never whatever else sits at the path.
    if (!storePath_.empty() && cachefile::replaceable(storePath_)) ::unlink(storePath_.c_str());
}

bool ScanCache::fileHoldsTable() const {
    std::lock_guard g(lock_);
    return fileVersion_ == tableVersion_;
}

std::optional<ScanCache::VerificationResult> ScanCache::lastVerification() const {
    std::lock_guard g(lock_);
    return lastVerification_;
}

ScanCache::FileTable ScanCache::snapshot() const {
    std::lock_guard g(lock_);
    return files_;
}

std::shared_ptr<const RequestDictionary> ScanCache::dictionary() const {
    std::lock_guard g(lock_);
    return dictionary_;
}

// MARK: - Refresh

namespace {

// One listed file of a refresh: what the plan decided for it and what reading it found.
enum class Kind { skipped, unchanged, read };
struct Slot {
    Kind kind = Kind::skipped;
    fileio::Attributes attrs;
    const ScanCache::FileState* old = nullptr; // the snapshot entry: kept, or resumed from
    std::uint64_t startOffset = 0;
    // Filled by the reading job.
    std::shared_ptr<const FileBlock> block; // null when the reading ran out of memory
    ScanDiagnostics read;
    std::uint64_t consumed = 0;
    bool failed = false;
};

// Plan: classify every listed file against the snapshot; new, grown and rewound files
// become reading jobs, returned in list order.
std::vector<std::size_t> plan(const std::vector<TranscriptFile>& list,
                              const ScanCache::FileTable& snap, std::vector<Slot>& slots,
                              ScanCache::RefreshStats& stats) {
    // One attributes query per file, spread over threads: on a large tree these
    // queries are most of a refresh in which nothing changed.
    std::vector<std::optional<fileio::Attributes>> attributes(list.size());
    constexpr std::size_t statBatch = 256;
    parallel::forEach((list.size() + statBatch - 1) / statBatch, [&](std::size_t b) {
        for (std::size_t i = b * statBatch; i < std::min(list.size(), (b + 1) * statBatch); ++i)
            attributes[i] = fileio::attributesOf(list[i].path);
    });
    std::vector<std::size_t> jobs;
    for (std::size_t i = 0; i < list.size(); ++i) {
        Slot& s = slots[i];
        const auto& attrs = attributes[i];
        if (!attrs) continue;
        s.attrs = *attrs;
        auto it = snap.find(list[i].path);
        if (it == snap.end()) {
            stats.filesNew += 1;
            s.kind = Kind::read;
        } else {
            const ScanCache::FileState& e = it->second;
            // A size below what was consumed can only mean the file was cut back.
            if (attrs->inode != e.inode || attrs->size < e.size || attrs->size < e.consumed ||
                attrs->mtime < e.mtime - 0.001) {
                stats.filesRewound += 1;
                s.kind = Kind::read;
            } else if (attrs->size == e.size && attrs->mtime <= e.mtime + 0.001) {
                stats.filesUnchanged += 1;
                s.kind = Kind::unchanged;
                s.old = &e;
            } else {
                stats.filesGrown += 1;
                s.kind = Kind::read;
                s.old = &e;
                s.startOffset = e.consumed;
            }
        }
        if (s.kind == Kind::read) jobs.push_back(i);
    }
    return jobs;
}

// Read: every job on several threads, each file into its own slot. Throws
// detail::Stopped once `stop` is asked for.
void readJobs(const std::vector<TranscriptFile>& list, const std::vector<std::size_t>& jobs,
              std::vector<Slot>& slots, RequestDictionary& dictionary, std::stop_token stop) {
    parallel::forEach(jobs.size(), [&](std::size_t j) {
        if (stop.stop_requested()) throw detail::Stopped{};
        const std::size_t i = jobs[j];
        Slot& s = slots[i];
        const FileBlock* resume =
            s.startOffset > 0 && s.old && s.old->block ? s.old->block.get() : nullptr;
        try {
            auto r =
                detail::readFile(list[i], s.startOffset, std::nullopt, resume, dictionary, stop);
            s.block = std::move(r.block);
            s.read = std::move(r.diagnostics);
            s.consumed = r.consumed;
            s.failed = r.failed;
        } catch (const std::exception&) {
            // A file whose lines cannot be held is unreadable like one that cannot be
            // opened; nothing of this pass's reading of it counts, the other files'
            // figures stand.
            s.failed = true;
            s.block.reset();
            s.read = ScanDiagnostics{};
            s.consumed = s.startOffset;
        }
    });
}

// What the merge step builds from the slots, in list order.
struct Built {
    ScanDiagnostics diag;
    ScanCache::FileTable table;
    std::vector<std::shared_ptr<const FileBlock>> order; ///< the blocks in list order
};

// Merge, first half: the table and the diagnostics in list order, as a serial pass would
// build them; refresh() then swaps the table in and merges the requests across files.
Built buildTable(const std::vector<TranscriptFile>& list, std::vector<Slot>& slots,
                 ScanCache::RefreshStats& stats) {
    Built out;
    ScanDiagnostics& diag = out.diag;
    ScanCache::FileTable& table = out.table;
    auto& order = out.order;
    order.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        Slot& s = slots[i];
        const std::string& path = list[i].path;
        if (s.kind == Kind::skipped) continue;
        if (s.kind == Kind::unchanged) {
            diag.bytesRead += s.old->consumed;
            s.old->diag.apply(diag, path);
            auto placed = table.emplace_hint(table.end(), path, *s.old);
            order.push_back(placed->second.block);
        } else {
            if (s.failed) diag.filesUnreadable.push_back(path);
            stats.bytesRead += s.consumed - s.startOffset;
            ScanCache::FileDiagnostics base =
                s.startOffset > 0 && s.old ? s.old->diag : ScanCache::FileDiagnostics{};
            std::shared_ptr<const FileBlock> block = std::move(s.block);
            if (!block)
                block = s.startOffset > 0 && s.old && s.old->block ? s.old->block
                                                                   : FileBlock::Builder().finish();
            ScanCache::FileState state{s.attrs.size, s.attrs.mtime,    s.attrs.inode,
                                       s.consumed,   std::move(block), plus(base, s.read)};
            if (s.failed) {
                // Recorded as read up to where it stopped and of unknown time, so that
                // the next pass (in this process or after a reload) tries it again
                // from there, even when the file itself does not change.
                state.size = s.consumed;
                state.mtime = 0;
            }
            diag.bytesRead += state.consumed;
            state.diag.apply(diag, path);
            order.push_back(state.block);
            table.insert_or_assign(path, std::move(state));
        }
    }
    return out;
}

} // namespace

ScanCache::Refresh ScanCache::refresh(const std::vector<SourceHome>& homes) {
    return *refresh(homes, std::stop_token());
}

std::optional<ScanCache::Refresh> ScanCache::refresh(const std::vector<SourceHome>& homes,
                                                     std::stop_token stop) {
    const auto start = Clock::now();
    std::map<std::string, std::int64_t> perHome;
    const std::vector<TranscriptFile> list = Scanner::fileList(homes, &perHome);

    RefreshStats stats;
    FileTable snap;
    std::shared_ptr<RequestDictionary> dictionary;
    bool keysDistinct = false;
    {
        std::unordered_set<std::string_view> listed;
        listed.reserve(list.size());
        for (const TranscriptFile& f : list)
            listed.insert(f.path);
        std::lock_guard g(lock_);
        stats.fromCache = !files_.empty();
        for (auto it = files_.begin(); it != files_.end();) {
            if (listed.count(it->first)) {
                ++it;
            } else {
                it = files_.erase(it);
                stats.filesGone += 1;
            }
        }
        snap = files_;
        dictionary = dictionary_; // what every block of the snapshot refers to
        keysDistinct = keysDistinct_;
    }

    // Plan which files to read, read them, then merge the table and the requests.
    std::vector<Slot> slots(list.size());
    const std::vector<std::size_t> jobs = plan(list, snap, slots, stats);
    // Only blocks kept from the snapshot are known apart; a file read now may repeat any.
    keysDistinct = keysDistinct && jobs.empty();
    try {
        readJobs(list, jobs, slots, *dictionary, stop);
    } catch (const detail::Stopped&) {
        std::lock_guard g(lock_);
        if (stats.filesGone > 0) ++tableVersion_; // the pruned table is not the file's
        return std::nullopt;
    }
    Built built = buildTable(list, slots, stats);
    ScanDiagnostics& diag = built.diag;
    FileTable& table = built.table;
    auto& order = built.order;

    // Files that could not be examined leave the table, so only a pass that kept
    // every file as it was leaves its content the same.
    const bool changed = stats.filesGone > 0 || stats.filesNew > 0 || stats.filesGrown > 0 ||
                         stats.filesRewound > 0 ||
                         stats.filesUnchanged != static_cast<std::int64_t>(list.size());
    {
        std::lock_guard g(lock_);
        files_.swap(table); // the old table is freed below, outside the lock
        // A load or clear meanwhile brought another dictionary; the table now in place
        // refers to this pass's.
        dictionary_ = dictionary;
        keysDistinct_ = keysDistinct;
        if (changed) ++tableVersion_;
    }
    table = {};
    if (stop.stop_requested()) return std::nullopt;

    // Unify across files in list order; reuse the last table when no block changed.
    std::shared_ptr<const RequestTable> merged;
    {
        std::lock_guard g(lock_);
        if (merged_ && mergedFrom_ == order && merged_->sharedDictionary() == dictionary)
            merged = merged_;
    }
    if (!merged) {
        auto from = order;
        merged = std::make_shared<const RequestTable>(dictionary, std::move(order),
                                                      keysDistinct ? RequestTable::Keys::distinct
                                                                   : RequestTable::Keys::mayRepeat);
        std::lock_guard g(lock_);
        merged_ = merged;
        mergedFrom_ = std::move(from);
    }

    stats.filesTotal = static_cast<std::int64_t>(list.size());
    stats.duration = secondsSince(start);
    diag.filesScanned = static_cast<std::int64_t>(list.size());
    diag.uniqueRequests = static_cast<std::int64_t>(merged->size());
    diag.duration = stats.duration;
    diag.perHome = std::move(perHome);
    return Refresh{std::move(merged), std::move(diag), stats};
}

} // namespace vantery
