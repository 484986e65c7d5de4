#pragma once
// Reading transcripts: the per-line ingestion and the full scan.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vantery/ingest/RequestMap.hpp"
#include "vantery/model/RequestTable.hpp"
#include "vantery/model/UsageRecord.hpp"

namespace vantery {

/// One transcript file of a scan's file list; its rank is its position in the list.
struct TranscriptFile {
    std::string path;
    std::string home; ///< the SourceHome's name
};

struct Scanner {
    Scanner() = delete;

    /// The 7 bytes `"usage"` with both quotes.
    static constexpr std::string_view usageNeedle = "\"usage\"";

    /// Turns one line into its contribution to `into` and `diag`; never throws.
    /// Safe to call from several threads with distinct maps and diagnostics.
    static void ingest(std::string_view line, const std::string& path, const std::string& home,
                       std::int64_t rank, RequestMap& into, ScanDiagnostics& diag);

    /// The request the previous line of a reading went to. Consecutive lines of one
    /// request then skip the dictionary lookup. Belongs to one dictionary, and must be
    /// reset (to `{}`) whenever a request is erased from it.
    struct LastRequest {
        UsageRecord* record = nullptr;
        const std::string* key = nullptr;
    };
    /// The same as ingest above, remembering in `last` the request the line went to;
    /// the outcome is the same as without it.
    static void ingest(std::string_view line, const std::string& path, const std::string& home,
                       std::int64_t rank, RequestMap& into, ScanDiagnostics& diag,
                       LastRequest& last);

    /// Sorted paths of the regular `.jsonl` files below a folder (hidden entries
    /// skipped); absent when the folder does not exist or is not a folder.
    static std::optional<std::vector<std::string>> jsonlFiles(const std::string& under);

    /// The file list of a scan: homes in order, each home's files sorted. Fills
    /// perHome (when given) with one count per home whose projects folder exists.
    static std::vector<TranscriptFile> fileList(const std::vector<SourceHome>& homes,
                                                std::map<std::string, std::int64_t>* perHome);

    /// The cross-file rule on two records of one request: `present` becomes the
    /// combination, with the descriptive fields of the smaller sourceRank (its own on a
    /// tie), each count the larger, the timestamp the earlier.
    static void combineCrossFile(UsageRecord& present, const UsageRecord& other);

    struct Table {
        std::shared_ptr<const RequestTable> table; ///< never null
        ScanDiagnostics diagnostics;
    };
    /// Full scan of every file of every home, without a cache: the requests in canonical
    /// order (the file list's order, then each request's first line in its file), the
    /// same whatever the number of threads and equal to a refresh of the same bytes.
    /// Unreadable files (also one whose line cannot be held in memory) are reported in
    /// the diagnostics, never thrown; only a failed allocation outside reading escapes.
    static Table scanTable(const std::vector<SourceHome>& homes, bool parallel);

    struct Keyed {
        RequestMap records;
        ScanDiagnostics diagnostics;
    };
    /// The same scan keyed by request (sourceRank: the first file's position), and as
    /// plain records in canonical order (sourceRank left at its default).
    /// Reference forms for tests and benchmarks: the programs read the cache instead.
    static Keyed scanKeyed(const std::vector<SourceHome>& homes, bool parallel);
    static ScanResult scan(const std::vector<SourceHome>& homes, bool parallel);
};

} // namespace vantery
