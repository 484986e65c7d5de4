#pragma once
// The incremental scan cache: per transcript file, how far it was read and what it
// gave, so that a refresh reads only new or grown files. Also its cache file.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vantery/base/Paths.hpp"
#include "vantery/cache/FileProvenance.hpp"
#include "vantery/model/Estimate.hpp"
#include "vantery/model/RequestTable.hpp"
#include "vantery/model/UsageRecord.hpp"

namespace vantery {

/// The one holder of parsed usage between refreshes. Thread-safe: one lock guards
/// the per-file table and the last verdict, held only to copy or swap them, never
/// while a transcript is read.
class ScanCache {
  public:
    /// Line counters of the consumed part of one file.
    struct FileDiagnostics : LineCounters {
        std::int64_t longestLineBytes = 0;

        /// Adds the seven summed counters into `diag`; takes over the longest line
        /// only when strictly longer (the file applied first keeps a tie).
        void apply(ScanDiagnostics& diag, const std::string& path) const;

        friend bool operator==(const FileDiagnostics&, const FileDiagnostics&) = default;
    };

    /// What the cache knows of one transcript file.
    struct FileState {
        /// Size when last brought up to date (taken before reading). For a file whose
        /// reading failed: `consumed`, with mtime 0, so that every later pass tries it again.
        std::uint64_t size = 0;
        double mtime = 0;           ///< modification time, seconds since 1970; 0 when unknown
        std::uint64_t inode = 0;    ///< file number; 0 when unknown
        std::uint64_t consumed = 0; ///< offset after the last newline accounted for
        /// Never null; the file's requests unified within it, ids in the cache's dictionary.
        std::shared_ptr<const FileBlock> block;
        FileDiagnostics diag;
    };

    using FileTable = std::map<std::string, FileState>;

    /// The requests of one cached file, for provenance listings.
    using FileProvenance = vantery::FileProvenance;

    /// What one refresh did.
    struct RefreshStats {
        std::int64_t filesTotal = 0;
        std::int64_t filesUnchanged = 0;
        std::int64_t filesGrown = 0;
        std::int64_t filesNew = 0;
        std::int64_t filesRewound = 0;
        std::int64_t filesGone = 0;
        std::uint64_t bytesRead = 0; ///< bytes read in this pass only
        double duration = 0;
        bool fromCache = false;
        /// Why the cache file could not hold this table (it would pass the size a load
        /// takes), so that each start reads every transcript again; empty otherwise.
        std::string cacheNotKept;

        /// filesUnchanged / filesTotal as a fraction; unknown(noData) without files.
        Estimate<double> savedFraction() const;
    };

    /// The verdict of a full verification.
    struct VerificationResult {
        double checkedAt = 0; ///< seconds since 1970
        std::int64_t cachedRequests = 0;
        std::int64_t freshRequests = 0;
        double cachedCost = 0;
        double freshCost = 0;
        std::uint64_t bytesNotCompared = 0;
        std::int64_t arrivedDuringCheck = 0;
        std::int64_t missingFromCache = 0;
        std::int64_t extraInCache = 0;
        std::int64_t mismatchedRecords = 0;
        double duration = 0;

        /// No request missing, extra or with different token figures.
        bool isClean() const noexcept;
        /// The one-line verdict shown to users.
        std::string summary() const;
    };

    /// The outcome of a refresh. The table is shared and immutable, so that a
    /// refresh in which nothing changed costs no copy of it.
    struct Refresh {
        std::shared_ptr<const RequestTable> table; ///< never null
        ScanDiagnostics diagnostics;
        RefreshStats stats;
    };

    /// A cache file larger than this is not loaded (a million requests take about
    /// 60 MB); a table that would take more is not saved (CacheTooLarge).
    static constexpr std::uint64_t maxCacheFileBytes = std::uint64_t{2} << 30;

    /// A cache at cachefile::location of the process environment. Touches no file: the
    /// folder is made (private) by refreshAndKeep once the location passes its checks.
    ScanCache();
    /// The same, with the location taken from `env`.
    explicit ScanCache(const paths::Environment& env);
    /// A cache whose file is exactly `storePath`.
    explicit ScanCache(std::string storePath);

    ScanCache(const ScanCache&) = delete;
    ScanCache& operator=(const ScanCache&) = delete;

    /// Path of the cache file (empty when the default location could not be formed).
    const std::string& cachePath() const noexcept { return storePath_; }

    /// Brings every listed transcript file up to date and returns all requests,
    /// unified across files, with diagnostics and statistics. Never throws; never
    /// touches the cache file. The table equals Scanner::scanTable of the consumed
    /// bytes, row for row in the same canonical order, whichever pass read each file:
    /// a grown file's new requests follow its old ones, as they follow in the file.
    /// When no file changed, the last table is returned again (no copy).
    Refresh refresh(const std::vector<SourceHome>& homes);
    /// The same, giving up as soon as `stop` is asked for (between files, and between
    /// blocks of a large file): then nothing is returned, and a caller saves nothing.
    std::optional<Refresh> refresh(const std::vector<SourceHome>& homes, std::stop_token stop);

    /// One entry per cached file, sorted by path; the blocks are shared, not copied.
    std::vector<FileProvenance> recordsPerFile() const;

    /// Empties the table, forgets the last verdict and deletes the cache file
    /// (only when what is there is a cache file).
    void clear();

    /// The verdict of the last full verification, if any.
    std::optional<VerificationResult> lastVerification() const;

    /// A copy of the table (cheap: blocks are shared). For tests and benchmarks: the
    /// programs read the table only through refresh, recordsPerFile and save.
    FileTable snapshot() const;
    /// The dictionary the blocks of the table refer to.
    std::shared_ptr<const RequestDictionary> dictionary() const;

    /// Re-reads every cached file up to its consumed offset and compares the
    /// requests with the cache; stores and returns the verdict. Never throws.
    VerificationResult verifyAgainstFullScan(const std::vector<SourceHome>& homes);
    /// The same, giving up as soon as `stop` is asked for: then no verdict is stored or
    /// returned.
    std::optional<VerificationResult> verifyAgainstFullScan(const std::vector<SourceHome>& homes,
                                                            std::stop_token stop);

    /// Writes the whole table to the cache file, replacing it atomically (a private,
    /// locked temporary file in the same folder, written in pieces, flushed and renamed);
    /// temporaries killed saves left there are removed. Makes no folder. Throws std::system_error
    /// on failure, leaving the old file as it was. Never replaces anything but a cache file or an
    /// empty file (cachefile::replaceable), checked before anything is created. Does not know the
    /// homes: refreshAndKeep (KeptRefresh.hpp) also refuses paths inside their homes.
    /// Files whose keys were left in a loaded file that has since been cut or rewritten
    /// in place are saved as never read and leave the table, so the next refresh reads
    /// them again. The keys left in an earlier file are then read from the file just
    /// written, so that the earlier one is let go.
    void save();

    /// Replaces the table with the cache file's content; false (table untouched)
    /// when the file is absent, unreadable, foreign, of another version, without the
    /// trailer of this build or damaged anywhere (its length and hash do not match), or
    /// is cut or written while it is read. Writes nothing; holds at most a batch of the
    /// file beside the table. Removes temporaries killed saves left beside the file.
    bool load();

    /// Lets go of a cache file that has been replaced at the path (another program's
    /// save renamed its own over it, or it was removed) while this cache still reads its
    /// keys from it: the file now at the path is loaded in its stead, or, when nothing
    /// loadable is there, the table is marked as not held by any file so that the next
    /// save writes it there. True when the file had been replaced. Costs one stat when not.
    bool letGoOfReplacedFile();

    /// True when this cache last loaded its table from, or saved it to, its file and
    /// no refresh, load or clear has changed the table since: saving again would
    /// write the same content.
    bool fileHoldsTable() const;

  private:
    std::string storePath_;
    mutable std::mutex lock_;
    FileTable files_;
    std::optional<VerificationResult> lastVerification_;
    // The one dictionary of every block in files_.
    std::shared_ptr<RequestDictionary> dictionary_ = std::make_shared<RequestDictionary>();
    // The table of the last refresh and the blocks, in list order, it was built from;
    // reused while every block is the same.
    std::shared_ptr<const RequestTable> merged_;
    std::vector<std::shared_ptr<const FileBlock>> mergedFrom_;
    // No request key is in two blocks of files_ (as after loading a cache file that
    // says so): the next table needs no unifying across files.
    bool keysDistinct_ = true;
    // Bumped whenever the table's content changes; the version the file is known
    // to hold, when this process loaded or wrote it.
    std::uint64_t tableVersion_ = 0;
    mutable std::optional<std::uint64_t> fileVersion_; // set by save()
    // The cache file (device, file number) the blocks were last pointed at for their keys
    // by a load or a save.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> keysFile_;
};

} // namespace vantery
