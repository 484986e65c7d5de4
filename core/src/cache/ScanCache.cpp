#include "vantery/cache/ScanCache.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

#include "base/FileIO.hpp"
#include "base/Parallel.hpp"
#include "ingest/LineReader.hpp"
#include "vantery/base/Calendar.hpp"
#include "vantery/base/FlatIndex.hpp"
#include "vantery/base/Paths.hpp"
#include "vantery/base/Saturating.hpp"
#include "vantery/cache/CacheFile.hpp"
#include "vantery/ingest/Scanner.hpp"

namespace vantery {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

constexpr std::size_t mergeReserve = 80'000;

// Unifies per-file record sets, visited in a fixed order, without copying keys:
// the views point into the sets, which the caller keeps alive.
struct Merger {
    std::vector<UsageRecord> records;
    std::unordered_map<std::string_view, std::size_t> where;

    explicit Merger(std::size_t expected) {
        records.reserve(std::max(expected, mergeReserve));
        where.reserve(std::max(expected, mergeReserve));
    }
    void add(const RequestMap& set) {
        for (const auto& [key, record] : set) {
            auto [it, inserted] = where.try_emplace(key, records.size());
            if (inserted)
                records.push_back(record);
            else
                Scanner::combineCrossFile(records[it->second], record);
        }
    }
};

// Unifies the record sets of one pass, given in list order with their ranks. Keys
// are split into partitions by hash and each partition is merged on its own thread,
// visiting the sets in list order, so the outcome is that of one serial merge.
std::vector<UsageRecord>
mergeInListOrder(const std::vector<std::pair<ScanCache::RecordSet, std::int64_t>>& order,
                 std::size_t expected) {
    struct Item {
        std::size_t hash;
        const std::string* key;
        const UsageRecord* record;
        std::int64_t rank;
    };
    const std::size_t hw = std::max(1u, std::thread::hardware_concurrency());
    // Small inputs are not worth the threads.
    const std::size_t parts = std::clamp<std::size_t>(expected / 8'192, 1, hw);
    const std::size_t chunks = std::min(parts, std::max<std::size_t>(1, order.size()));

    // buckets[c * parts + p]: the items of partition p from the sets of chunk c.
    std::vector<std::vector<Item>> buckets(chunks * parts);
    parallel::forEach(chunks, [&](std::size_t c) {
        const std::size_t from = c * order.size() / chunks, to = (c + 1) * order.size() / chunks;
        for (std::size_t p = 0; p < parts; ++p)
            buckets[c * parts + p].reserve(expected / (chunks * parts) + 16);
        for (std::size_t f = from; f < to; ++f)
            for (const auto& [key, record] : *order[f].first) {
                const std::size_t h = FlatIndex::hashOf(key);
                buckets[c * parts + (h >> 7) % parts].push_back(
                    Item{h, &key, &record, order[f].second});
            }
    });

    // Per partition: the first item of each key, and the later items of a key with
    // the position of its first item, both in list order.
    struct Partition {
        std::vector<const Item*> firsts;
        std::vector<std::pair<std::uint32_t, const Item*>> repeats;
    };
    std::vector<Partition> partitions(parts);
    parallel::forEach(parts, [&](std::size_t p) {
        std::size_t count = 0;
        for (std::size_t c = 0; c < chunks; ++c)
            count += buckets[c * parts + p].size();
        FlatIndex where(count);
        Partition& part = partitions[p];
        part.firsts.reserve(count);
        for (std::size_t c = 0; c < chunks; ++c)
            for (const Item& item : buckets[c * parts + p]) {
                auto [index, inserted] = where.tryEmplace(
                    *item.key, item.hash, static_cast<std::uint32_t>(part.firsts.size()));
                if (inserted)
                    part.firsts.push_back(&item);
                else
                    part.repeats.emplace_back(index, &item);
            }
    });

    // Each partition fills its own slice of the result.
    std::vector<std::size_t> base(parts + 1, 0);
    for (std::size_t p = 0; p < parts; ++p)
        base[p + 1] = base[p] + partitions[p].firsts.size();
    std::vector<UsageRecord> all(base[parts]);
    parallel::forEach(parts, [&](std::size_t p) {
        const Partition& part = partitions[p];
        UsageRecord* out = all.data() + base[p];
        for (std::size_t k = 0; k < part.firsts.size(); ++k) {
            out[k] = *part.firsts[k]->record;
            out[k].sourceRank = part.firsts[k]->rank;
        }
        for (const auto& [index, item] : part.repeats) {
            UsageRecord ranked = *item->record;
            ranked.sourceRank = item->rank;
            Scanner::combineCrossFile(out[index], ranked);
        }
    });
    return all;
}

ScanCache::FileDiagnostics countersOf(const ScanDiagnostics& d) {
    ScanCache::FileDiagnostics f;
    f.usageLines = d.usageLinesSeen;
    f.notUsageBearing = d.linesNotUsageBearing;
    f.skippedZeroUsage = d.linesSkippedZeroUsage;
    f.rejectedInvalidJSON = d.linesRejectedInvalidJSON;
    f.rejectedNoMessage = d.linesRejectedNoMessage;
    f.rejectedNoTimestamp = d.linesRejectedNoTimestamp;
    f.rejectedNoIdentity = d.linesRejectedNoIdentity;
    f.longestLineBytes = d.longestLineBytes;
    return f;
}

ScanCache::FileDiagnostics plus(const ScanCache::FileDiagnostics& a,
                                const ScanCache::FileDiagnostics& b) {
    ScanCache::FileDiagnostics r;
    r.usageLines = satAdd(a.usageLines, b.usageLines);
    r.notUsageBearing = satAdd(a.notUsageBearing, b.notUsageBearing);
    r.skippedZeroUsage = satAdd(a.skippedZeroUsage, b.skippedZeroUsage);
    r.rejectedInvalidJSON = satAdd(a.rejectedInvalidJSON, b.rejectedInvalidJSON);
    r.rejectedNoMessage = satAdd(a.rejectedNoMessage, b.rejectedNoMessage);
    r.rejectedNoTimestamp = satAdd(a.rejectedNoTimestamp, b.rejectedNoTimestamp);
    r.rejectedNoIdentity = satAdd(a.rejectedNoIdentity, b.rejectedNoIdentity);
    r.longestLineBytes = std::max(a.longestLineBytes, b.longestLineBytes);
    return r;
}

[[noreturn]] void throwErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

void writeAtomically(const std::string& path, const std::vector<std::string>& pieces) {
    if (path.empty()) throw std::system_error(ENOENT, std::generic_category(), "no cache location");
    std::string folder = paths::folderOf(path);
    std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    std::string temp = folder + "/." + name + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) throwErrno("cannot create a temporary file beside " + path);
    auto fail = [&](const std::string& what) {
        int saved = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        errno = saved;
        throwErrno(what);
    };
    if (::fchmod(fd, 0600) != 0) fail("cannot make " + temp + " private");
    // Many small pieces: hand them to the kernel a batch at a time.
    std::vector<struct iovec> batch;
    std::size_t next = 0, offset = 0; // first piece not fully written, bytes of it written
    while (next < pieces.size()) {
        batch.clear();
        for (std::size_t i = next; i < pieces.size() && batch.size() < 512; ++i) {
            const std::size_t skip = i == next ? offset : 0;
            if (pieces[i].size() == skip) continue;
            batch.push_back({const_cast<char*>(pieces[i].data() + skip), pieces[i].size() - skip});
        }
        if (batch.empty()) break;
        ssize_t n = ::writev(fd, batch.data(), static_cast<int>(batch.size()));
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("cannot write " + temp);
        }
        if (n == 0) {
            errno = EIO;
            fail("cannot write " + temp);
        }
        // Advance past what was written.
        auto left = static_cast<std::size_t>(n);
        while (next < pieces.size()) {
            const std::size_t rest = pieces[next].size() - offset;
            if (left < rest) {
                offset += left;
                break;
            }
            left -= rest;
            ++next;
            offset = 0;
        }
    }
    if (::fsync(fd) != 0) fail("cannot flush " + temp);
    if (::close(fd) != 0) {
        int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        throwErrno("cannot close " + temp);
    }
    // Only a cache file written earlier is ever replaced: never a transcript, a
    // link or anything else that happens to sit at the cache's path.
    if (!paths::holdsNoForeignFile(path)) {
        ::unlink(temp.c_str());
        errno = EEXIST;
        throwErrno("not replacing " + path + ": it is not a cache file");
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        throwErrno("cannot replace " + path);
    }
    // Make the rename itself durable; a failure here leaves a whole file either way.
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace

// MARK: - Small value types

void ScanCache::FileDiagnostics::apply(ScanDiagnostics& diag, const std::string& path) const {
    diag.usageLinesSeen = satAdd(diag.usageLinesSeen, usageLines);
    diag.linesNotUsageBearing = satAdd(diag.linesNotUsageBearing, notUsageBearing);
    diag.linesSkippedZeroUsage = satAdd(diag.linesSkippedZeroUsage, skippedZeroUsage);
    diag.linesRejectedInvalidJSON = satAdd(diag.linesRejectedInvalidJSON, rejectedInvalidJSON);
    diag.linesRejectedNoMessage = satAdd(diag.linesRejectedNoMessage, rejectedNoMessage);
    diag.linesRejectedNoTimestamp = satAdd(diag.linesRejectedNoTimestamp, rejectedNoTimestamp);
    diag.linesRejectedNoIdentity = satAdd(diag.linesRejectedNoIdentity, rejectedNoIdentity);
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

ScanResult ScanCache::Refresh::result() const {
    return ScanResult{table ? table->records() : std::vector<UsageRecord>{}, diagnostics};
}

// MARK: - Location

std::optional<std::string> ScanCache::defaultStorePath(const Environment& env) {
    return paths::defaultCachePath(env);
}

std::optional<std::string> ScanCache::defaultStorePath() {
    return paths::defaultCachePath();
}

ScanCache::ScanCache(const Environment& env)
    : storePath_(defaultStorePath(env).value_or(std::string())) {
    if (!storePath_.empty()) paths::makePrivateFolders(paths::folderOf(storePath_));
}

ScanCache::ScanCache() : storePath_(defaultStorePath().value_or(std::string())) {
    if (!storePath_.empty()) paths::makePrivateFolders(paths::folderOf(storePath_));
}

ScanCache::ScanCache(std::string storePath) : storePath_(std::move(storePath)) {}

// MARK: - Table access

std::vector<ScanCache::FileProvenance> ScanCache::recordsPerFile() const {
    FileTable copy = snapshot();
    std::vector<FileProvenance> out;
    out.reserve(copy.size());
    std::shared_ptr<RequestDictionary> dictionary;
    {
        std::lock_guard g(lock_);
        dictionary = dictionary_;
    }
    for (auto& [path, state] : copy) {
        FileBlock::Builder block(state.records->size());
        for (const auto& [key, record] : *state.records)
            block.add(key, dictionary->rowOf(record));
        out.push_back(FileProvenance{path, state.diag.usageLines, block.finish(), dictionary});
    }
    return out;
}

void ScanCache::clear() {
    FileTable old; // freed after the lock is released
    std::shared_ptr<const RequestTable> oldMerged;
    std::lock_guard g(lock_);
    dictionary_ = std::make_shared<RequestDictionary>();
    old.swap(files_);
    lastVerification_.reset();
    oldMerged.swap(merged_);
    mergedFrom_.clear();
    ++tableVersion_;
    fileVersion_.reset();
    // Only a cache file is ever removed, never whatever else sits at the path.
    if (!storePath_.empty() && paths::holdsNoForeignFile(storePath_)) ::unlink(storePath_.c_str());
}

bool ScanCache::fileHoldsTable() const {
    std::lock_guard g(lock_);
    return fileVersion_ == tableVersion_;
}

std::optional<ScanCache::VerificationResult> ScanCache::lastVerification() const {
    std::lock_guard g(lock_);
    return lastVerification_;
}

std::size_t ScanCache::fileCount() const {
    std::lock_guard g(lock_);
    return files_.size();
}

ScanCache::FileTable ScanCache::snapshot() const {
    std::lock_guard g(lock_);
    return files_;
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
    std::shared_ptr<RequestMap> records; // null when the reading ran out of memory
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

// Read: every job on several threads, each file into its own slot.
void readJobs(const std::vector<TranscriptFile>& list, const std::vector<std::size_t>& jobs,
              std::vector<Slot>& slots) {
    parallel::forEach(jobs.size(), [&](std::size_t j) {
        const std::size_t i = jobs[j];
        Slot& s = slots[i];
        const TranscriptFile& file = list[i];
        const auto rank = static_cast<std::int64_t>(i);
        Scanner::LastRequest last;
        try {
            s.records = s.startOffset > 0 && s.old && s.old->records
                            ? std::make_shared<RequestMap>(*s.old->records)
                            : std::make_shared<RequestMap>();
            RequestMap& into = *s.records;
            s.consumed = LineReader::forEachLineInline(
                file.path, s.startOffset, std::nullopt, [&](std::string_view line) {
                    Scanner::ingest(line, file.path, file.home, rank, into, s.read, last);
                });
        } catch (const LineReader::ReadError& e) {
            // Exactly the lines delivered before the failure are accounted for.
            s.failed = true;
            s.consumed = std::max(e.deliveredUpTo, s.startOffset);
        } catch (const std::bad_alloc&) {
            // A file whose lines cannot be held is unreadable like one that cannot be
            // opened; nothing of this pass's reading of it counts, the other files'
            // figures stand.
            s.failed = true;
            s.records.reset();
            s.read = ScanDiagnostics{};
            s.consumed = s.startOffset;
        }
    });
}

// What the merge step builds from the slots, in list order.
struct Built {
    ScanDiagnostics diag;
    ScanCache::FileTable table;
    std::vector<std::pair<ScanCache::RecordSet, std::int64_t>> order; ///< with each file's rank
    std::size_t expected = 0; ///< requests over every file, before merging across files
};

// Merge, first half: the table and the diagnostics in list order, as a serial pass would
// build them; refresh() then swaps the table in and merges the requests across files.
Built buildTable(const std::vector<TranscriptFile>& list, std::vector<Slot>& slots,
                 ScanCache::RefreshStats& stats) {
    Built out;
    ScanDiagnostics& diag = out.diag;
    ScanCache::FileTable& table = out.table;
    auto& order = out.order;
    std::size_t& expected = out.expected;
    order.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        Slot& s = slots[i];
        const std::string& path = list[i].path;
        if (s.kind == Kind::skipped) continue;
        if (s.kind == Kind::unchanged) {
            diag.bytesRead += s.old->consumed;
            s.old->diag.apply(diag, path);
            auto placed = table.emplace_hint(table.end(), path, *s.old);
            order.emplace_back(placed->second.records, static_cast<std::int64_t>(i));
        } else {
            if (s.failed) diag.filesUnreadable.push_back(path);
            stats.bytesRead += s.consumed - s.startOffset;
            ScanCache::FileDiagnostics base =
                s.startOffset > 0 && s.old ? s.old->diag : ScanCache::FileDiagnostics{};
            ScanCache::RecordSet records = std::move(s.records);
            if (!records)
                records = s.startOffset > 0 && s.old && s.old->records
                              ? s.old->records
                              : std::make_shared<const RequestMap>();
            ScanCache::FileState state{s.attrs.size,       s.attrs.mtime,
                                       s.attrs.inode,      s.consumed,
                                       std::move(records), plus(base, countersOf(s.read))};
            if (s.failed) {
                // Recorded as read up to where it stopped and of unknown time, so that
                // the next pass (in this process or after a reload) tries it again
                // from there, even when the file itself does not change.
                state.size = s.consumed;
                state.mtime = 0;
            }
            diag.bytesRead += state.consumed;
            state.diag.apply(diag, path);
            order.emplace_back(state.records, static_cast<std::int64_t>(i));
            table.insert_or_assign(path, std::move(state));
        }
        expected += order.back().first->size();
    }
    return out;
}

} // namespace

ScanCache::Refresh ScanCache::refresh(const std::vector<SourceHome>& homes) {
    const auto start = Clock::now();
    std::map<std::string, std::int64_t> perHome;
    const std::vector<TranscriptFile> list = Scanner::fileList(homes, &perHome);

    RefreshStats stats;
    FileTable snap;
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
    }

    // Plan which files to read, read them, then merge the table and the requests.
    std::vector<Slot> slots(list.size());
    const std::vector<std::size_t> jobs = plan(list, snap, slots, stats);
    readJobs(list, jobs, slots);
    Built built = buildTable(list, slots, stats);
    ScanDiagnostics& diag = built.diag;
    FileTable& table = built.table;
    const auto& order = built.order;
    const std::size_t expected = built.expected;

    // Files that could not be examined leave the table, so only a pass that kept
    // every file as it was leaves its content the same.
    const bool changed = stats.filesGone > 0 || stats.filesNew > 0 || stats.filesGrown > 0 ||
                         stats.filesRewound > 0 ||
                         stats.filesUnchanged != static_cast<std::int64_t>(list.size());
    {
        std::lock_guard g(lock_);
        files_.swap(table); // the old table is freed below, outside the lock
        if (changed) ++tableVersion_;
    }
    table = {};

    // Merge across files in list order; reuse the last merge when no set changed.
    std::shared_ptr<const RequestTable> merged;
    std::shared_ptr<RequestDictionary> dictionary;
    {
        std::lock_guard g(lock_);
        if (merged_ && mergedFrom_ == order) merged = merged_;
        dictionary = dictionary_;
    }
    if (!merged) {
        const std::vector<UsageRecord> all = mergeInListOrder(order, expected);
        FileBlock::Builder block(all.size());
        for (const UsageRecord& r : all)
            block.add({}, dictionary->rowOf(r));
        merged = std::make_shared<const RequestTable>(
            dictionary, std::vector<std::shared_ptr<const FileBlock>>{block.finish()});
        std::lock_guard g(lock_);
        merged_ = merged;
        mergedFrom_ = order;
    }

    stats.filesTotal = static_cast<std::int64_t>(list.size());
    stats.duration = secondsSince(start);
    diag.filesScanned = static_cast<std::int64_t>(list.size());
    diag.uniqueRequests = static_cast<std::int64_t>(merged->size());
    diag.duration = stats.duration;
    diag.perHome = std::move(perHome);
    return Refresh{std::move(merged), std::move(diag), stats};
}

// MARK: - Verification

ScanCache::VerificationResult
ScanCache::verifyAgainstFullScan(const std::vector<SourceHome>& homes) {
    const auto start = Clock::now();
    const FileTable snap = snapshot();

    std::size_t cachedCount = 0;
    for (const auto& [path, state] : snap)
        cachedCount += state.records->size();
    Merger cached(cachedCount);
    for (const auto& [path, state] : snap)
        cached.add(*state.records);

    const std::vector<TranscriptFile> list = Scanner::fileList(homes, nullptr);
    VerificationResult v;
    struct Slot {
        const FileState* entry = nullptr;
        RequestMap records;
    };
    std::vector<Slot> slots(list.size());
    std::vector<std::size_t> jobs;
    for (std::size_t i = 0; i < list.size(); ++i) {
        auto attrs = fileio::attributesOf(list[i].path);
        auto it = snap.find(list[i].path);
        if (it == snap.end()) {
            if (attrs) v.bytesNotCompared += attrs->size;
            continue;
        }
        slots[i].entry = &it->second;
        if (attrs && attrs->size > it->second.consumed)
            v.bytesNotCompared += attrs->size - it->second.consumed;
        jobs.push_back(i);
    }
    parallel::forEach(jobs.size(), [&](std::size_t j) {
        const std::size_t i = jobs[j];
        Slot& s = slots[i];
        const TranscriptFile& file = list[i];
        ScanDiagnostics scratch;
        Scanner::LastRequest last;
        try {
            LineReader::forEachLineInline(
                file.path, 0, s.entry->consumed, [&](std::string_view line) {
                    Scanner::ingest(line, file.path, file.home, static_cast<std::int64_t>(i),
                                    s.records, scratch, last);
                });
        } catch (const LineReader::ReadError&) {
            // What was read before the failure still counts.
        } catch (const std::bad_alloc&) {
            // Likewise: one file too large to hold never fails the verification.
        }
    });
    Merger fresh(cached.records.size());
    for (std::size_t i : jobs)
        fresh.add(slots[i].records);

    // Sum in key order so that equal request sets give exactly equal costs.
    const Calendar calendar = Calendar::current();
    auto costOf = [&](const Merger& m) {
        std::vector<std::pair<std::string_view, std::size_t>> byKey(m.where.begin(), m.where.end());
        std::sort(byKey.begin(), byKey.end());
        double sum = 0;
        for (const auto& [key, index] : byKey) {
            const UsageRecord& r = m.records[index];
            auto cost = r.cost(calendar.dayOf(r.timestamp));
            if (cost.isKnown()) sum += cost.knownValue();
        }
        return sum;
    };
    v.cachedCost = costOf(cached);
    v.freshCost = costOf(fresh);

    for (const auto& [key, index] : fresh.where) {
        auto it = cached.where.find(key);
        if (it == cached.where.end()) {
            v.missingFromCache += 1;
            continue;
        }
        const UsageRecord& a = fresh.records[index];
        const UsageRecord& b = cached.records[it->second];
        if (a.input != b.input || a.output != b.output || a.cacheRead != b.cacheRead ||
            a.cacheWrite5m != b.cacheWrite5m || a.cacheWrite1h != b.cacheWrite1h)
            v.mismatchedRecords += 1;
    }
    for (const auto& [key, index] : cached.where)
        if (!fresh.where.count(key)) v.extraInCache += 1;

    v.cachedRequests = static_cast<std::int64_t>(cached.records.size());
    v.freshRequests = static_cast<std::int64_t>(fresh.records.size());
    v.arrivedDuringCheck = 0;
    v.checkedAt = fileio::now();
    v.duration = secondsSince(start);

    std::lock_guard g(lock_);
    lastVerification_ = v;
    return v;
}

// MARK: - Cache file

void ScanCache::save() const {
    FileTable table;
    std::uint64_t version = 0;
    {
        std::lock_guard g(lock_);
        table = files_;
        version = tableVersion_;
    }
    writeAtomically(storePath_, encodeCacheFileParts(table));
    std::lock_guard g(lock_);
    fileVersion_ = version;
}

bool ScanCache::load() {
    if (storePath_.empty()) return false;
    std::optional<FileTable> table;
    try {
        auto bytes = fileio::readWholeFile(storePath_, maxCacheFileBytes);
        if (!bytes) return false;
        table = decodeCacheFile(*bytes);
    } catch (const std::bad_alloc&) {
        return false; // a table too large for this machine: the next refresh reads all
    }
    if (!table) return false;
    FileTable old; // freed after the lock is released
    std::lock_guard g(lock_);
    old.swap(files_);
    files_ = std::move(*table);
    dictionary_ = std::make_shared<RequestDictionary>();
    fileVersion_ = ++tableVersion_;
    return true;
}

} // namespace vantery
