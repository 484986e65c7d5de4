#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#include "vantery/Scanner.hpp"

namespace vantery {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t expectedRequests = 80'000;

bool isHidden(const fs::path& p) {
    const fs::path name = p.filename();
    return !name.empty() && name.native().front() == '.';
}

// Exactly the extension "jsonl": text after the last dot of a name that does not
// start with that dot.
bool hasJsonlExtension(const std::string& name) {
    auto dot = name.rfind('.');
    return dot != std::string::npos && dot > 0 &&
           name.compare(dot + 1, std::string::npos, "jsonl") == 0;
}

// One worker's requests and counters.
struct Partial {
    RequestMap records;
    ScanDiagnostics diagnostics;
};

// The per-worker results, the one object the workers share.
class Partials {
  public:
    explicit Partials(std::size_t n) : slots_(n) {}
    void store(std::size_t index, Partial&& p) {
        std::lock_guard lock(mutex_);
        slots_[index] = std::move(p);
    }
    Partial take(std::size_t index) {
        std::lock_guard lock(mutex_);
        return std::move(slots_[index]);
    }

  private:
    std::mutex mutex_;
    std::vector<Partial> slots_;
};

void readFile(const TranscriptFile& file, std::int64_t rank, Partial& into) {
    try {
        auto upTo =
            LineReader::forEachLineInline(file.path, 0, std::nullopt, [&](std::string_view line) {
                Scanner::ingest(line, file.path, file.home, rank, into.records, into.diagnostics);
            });
        into.diagnostics.bytesRead += upTo;
    } catch (const LineReader::ReadError&) {
        into.diagnostics.filesUnreadable.push_back(file.path);
    }
}

} // namespace

std::optional<std::vector<std::string>> Scanner::jsonlFiles(const std::string& under) {
    std::error_code ec;
    if (!fs::is_directory(under, ec)) return std::nullopt;
    fs::recursive_directory_iterator it(under, fs::directory_options::skip_permission_denied, ec);
    if (ec) return std::nullopt;
    std::string base = under;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    if (base != "/") base += '/';
    std::vector<std::string> out;
    for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const auto& entry = *it;
        if (isHidden(entry.path())) {
            if (entry.is_directory(ec)) it.disable_recursion_pending();
            continue;
        }
        if (!hasJsonlExtension(entry.path().filename().native())) continue;
        // Regular files and links to regular files only: a folder named x.jsonl is no transcript.
        if (!entry.is_regular_file(ec)) continue;
        // The iterator composes entry paths from `under`, so the relative part is the rest.
        std::string_view full = entry.path().native();
        std::string_view rel = full.substr(std::min(full.size(), under.size()));
        while (!rel.empty() && rel.front() == '/')
            rel.remove_prefix(1);
        out.push_back(base + std::string(rel));
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<TranscriptFile> Scanner::fileList(const std::vector<SourceHome>& homes,
                                              std::map<std::string, std::int64_t>* perHome) {
    std::vector<TranscriptFile> files;
    for (const auto& home : homes) {
        auto listed = jsonlFiles(home.projectsPath);
        if (!listed) continue;
        if (perHome) (*perHome)[home.name] = static_cast<std::int64_t>(listed->size());
        for (auto& path : *listed)
            files.push_back({std::move(path), home.name});
    }
    return files;
}

namespace {

void combine(UsageRecord& present, UsageRecord&& other) {
    if (other.sourceRank < present.sourceRank) std::swap(present, other);
    // `present` is now the base; counts take the larger value, the time the earlier.
    present.input = std::max(present.input, other.input);
    present.output = std::max(present.output, other.output);
    present.cacheWrite5m = std::max(present.cacheWrite5m, other.cacheWrite5m);
    present.cacheWrite1h = std::max(present.cacheWrite1h, other.cacheWrite1h);
    present.cacheRead = std::max(present.cacheRead, other.cacheRead);
    present.webSearch = std::max(present.webSearch, other.webSearch);
    present.webFetch = std::max(present.webFetch, other.webFetch);
    present.timestamp = std::min(present.timestamp, other.timestamp);
}

} // namespace

void Scanner::mergeCrossFile(RequestMap& into, const std::string& key, const UsageRecord& record) {
    if (auto it = into.find(key); it != into.end())
        combine(it->second, UsageRecord(record));
    else
        into.emplace(key, record);
}

void Scanner::mergeCrossFile(RequestMap& into, std::string&& key, UsageRecord&& record) {
    if (auto it = into.find(key); it != into.end())
        combine(it->second, std::move(record));
    else
        into.emplace(std::move(key), std::move(record));
}

Scanner::Keyed Scanner::scanKeyed(const std::vector<SourceHome>& homes, bool parallel) {
    auto started = std::chrono::steady_clock::now();
    std::map<std::string, std::int64_t> perHome;
    const auto files = fileList(homes, &perHome);

    std::size_t workers = 1;
    if (parallel) {
        std::size_t cpus = std::max(1u, std::thread::hardware_concurrency());
        workers = std::max<std::size_t>(1, std::min(files.size(), cpus));
    }
    Partials partials(workers);

    if (workers == 1) {
        Partial p;
        p.records.reserve(expectedRequests);
        for (std::size_t i = 0; i < files.size(); ++i)
            readFile(files[i], static_cast<std::int64_t>(i), p);
        partials.store(0, std::move(p));
    } else {
        // Each worker takes the next unread file in list order, so every worker reads
        // its files in increasing rank: the first line it meets of a request comes
        // from its lowest-ranked file, and the cross-file rule then gives the same
        // result as any fixed assignment of files to workers.
        std::atomic<std::size_t> next{0};
        std::exception_ptr failure;
        std::mutex failureMutex;
        std::vector<std::thread> threads;
        threads.reserve(workers);
        for (std::size_t w = 0; w < workers; ++w) {
            threads.emplace_back([&, w] {
                try {
                    Partial p;
                    p.records.reserve(expectedRequests / workers + 64);
                    for (std::size_t i;
                         (i = next.fetch_add(1, std::memory_order_relaxed)) < files.size();)
                        readFile(files[i], static_cast<std::int64_t>(i), p);
                    partials.store(w, std::move(p));
                } catch (...) {
                    std::lock_guard lock(failureMutex);
                    if (!failure) failure = std::current_exception();
                    next.store(files.size());
                }
            });
        }
        for (auto& t : threads)
            t.join();
        if (failure) std::rethrow_exception(failure);
    }

    std::vector<Partial> slots;
    slots.reserve(workers);
    std::size_t upperBound = 0;
    for (std::size_t w = 0; w < workers; ++w) {
        slots.push_back(partials.take(w));
        upperBound += slots.back().records.size();
    }
    Partial merged = std::move(slots[0]);
    // Size the table once for every request it may receive, never shrinking it
    // (a shrinking reserve would rehash a table that is already large enough).
    std::size_t wanted = std::max(upperBound, expectedRequests);
    if (static_cast<double>(merged.records.bucket_count()) *
            static_cast<double>(merged.records.max_load_factor()) <
        static_cast<double>(wanted))
        merged.records.reserve(wanted);
    for (std::size_t w = 1; w < workers; ++w) {
        Partial& p = slots[w];
        merged.diagnostics.merge(p.diagnostics);
        while (!p.records.empty()) {
            auto placed = merged.records.insert(p.records.extract(p.records.begin()));
            if (!placed.inserted) combine(placed.position->second, std::move(placed.node.mapped()));
        }
    }

    auto& d = merged.diagnostics;
    d.filesScanned = static_cast<std::int64_t>(files.size());
    d.uniqueRequests = static_cast<std::int64_t>(merged.records.size());
    d.duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    d.perHome = std::move(perHome);
    return {std::move(merged.records), std::move(d)};
}

ScanResult Scanner::scan(const std::vector<SourceHome>& homes, bool parallel) {
    auto keyed = scanKeyed(homes, parallel);
    ScanResult result;
    result.records.reserve(keyed.records.size());
    for (auto& [key, record] : keyed.records)
        result.records.push_back(std::move(record));
    result.diagnostics = std::move(keyed.diagnostics);
    return result;
}

} // namespace vantery
