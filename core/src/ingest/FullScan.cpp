#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <exception>
#include <filesystem>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "vantery/ingest/Scanner.hpp"

#include "base/Parallel.hpp"
#include "ingest/LineReader.hpp"
#include "ingest/RecordTable.hpp"

namespace vantery {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t expectedRequests = 80'000;

// Exactly the extension "jsonl": text after the last dot of a name that does not
// start with that dot.
bool hasJsonlExtension(std::string_view name) {
    auto dot = name.rfind('.');
    return dot != std::string_view::npos && dot > 0 &&
           name.compare(dot + 1, std::string::npos, "jsonl") == 0;
}

// One worker's requests and counters.
struct Partial {
    detail::RecordTable records;
    ScanDiagnostics diagnostics;
    // (rank, position of its first new request in `records`) of each file read, in
    // the order read.
    std::vector<std::pair<std::int64_t, std::size_t>> files;
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
    into.files.emplace_back(rank, into.records.size());
    Scanner::LastRequest last;
    try {
        auto upTo =
            LineReader::forEachLineInline(file.path, 0, std::nullopt, [&](std::string_view line) {
                detail::ingest(line, file.path, file.home, rank, into.records, into.diagnostics,
                               last);
            });
        into.diagnostics.bytesRead += upTo;
    } catch (const LineReader::ReadError&) {
        into.diagnostics.filesUnreadable.push_back(file.path);
    } catch (const std::bad_alloc&) {
        // A file whose lines cannot be held is unreadable; the scan goes on.
        into.diagnostics.filesUnreadable.push_back(file.path);
    }
}

// Every request read by the workers, once: the entries of one key share a
// partition, in which the workers' tables are combined by the cross-file rule in
// slot order. The records stay in the workers' tables; `parts` points at them.
struct Combined {
    std::vector<Partial> slots;
    struct Part {
        std::size_t hash;
        std::size_t order;               // bucket in the final map, or the hash when none is built
        detail::RecordTable::Node* node; // holds the combined record
        std::uint32_t slot, position;    // where the node is in the workers' tables
        // Where the node and its key's text lie, noted by the thread that has them
        // in cache so that the one filling the map can fetch them ahead.
        const void* nodeAt;
        const char* keyAt;
    };
    std::vector<std::vector<Part>> parts;
    ScanDiagnostics diagnostics;
    std::size_t count = 0;
};

Combined::Part part(std::size_t hash, detail::RecordTable& table, std::size_t slot,
                    std::size_t position) {
    auto& node = table.at(position);
    return {hash,
            hash,
            &node,
            static_cast<std::uint32_t>(slot),
            static_cast<std::uint32_t>(position),
            &node.key(),
            node.key().data()};
}

// Combines the workers' tables, one partition per worker, on as many threads.
// `buckets` is the bucket count of the map the entries will be put in (0 for
// none): the partitions are then ranges of buckets, each sorted by bucket, so that
// filling the map in partition order walks its bucket array once, in order, and
// always finds the nodes it has to pass fresh in cache.
void combine(Combined& c, std::size_t buckets) {
    const std::size_t partitions = c.slots.size();
    c.parts.assign(partitions, {});
    std::size_t upperBound = 0;
    for (const auto& slot : c.slots)
        upperBound += slot.records.size();

    // The partition of every entry, worked out once.
    std::vector<std::vector<std::uint32_t>> owners(c.slots.size());
    if (partitions > 1) {
        parallel::forEach(c.slots.size(), [&](std::size_t w) {
            auto& table = c.slots[w].records;
            auto& owner = owners[w];
            owner.resize(table.size());
            for (std::size_t i = 0; i < table.size(); ++i) {
                const std::size_t h = table.hashAt(i);
                owner[i] = static_cast<std::uint32_t>(
                    buckets > 0 ? (h % buckets) * partitions / buckets
                                : ((static_cast<std::uint64_t>(h) >> 32) * partitions) >> 32);
            }
        });
    }

    parallel::forEach(partitions, [&](std::size_t p) {
        auto& out = c.parts[p];
        out.reserve(upperBound / partitions + upperBound / (4 * partitions) + 16);
        if (partitions == 1) {
            auto& table = c.slots[0].records;
            for (std::size_t i = 0; i < table.size(); ++i)
                out.push_back(part(table.hashAt(i), table, 0, i));
        } else {
            // Positions in `out` (plus one) by hash, open addressing.
            std::vector<std::uint32_t> index(std::bit_ceil(2 * out.capacity() + 16), 0);
            std::size_t mask = index.size() - 1;
            for (std::size_t w = 0; w < c.slots.size(); ++w) {
                auto& table = c.slots[w].records;
                const auto& owner = owners[w];
                for (std::size_t i = 0; i < table.size(); ++i) {
                    if (owner[i] != p) continue;
                    const std::size_t h = table.hashAt(i);
                    auto& entry = table.at(i);
                    std::size_t k = h & mask;
                    for (; index[k] != 0; k = (k + 1) & mask) {
                        const auto& o = out[index[k] - 1];
                        if (o.hash == h && o.node->key() == entry.key()) break;
                    }
                    if (index[k] != 0) {
                        auto& present = out[index[k] - 1];
                        const bool earlier =
                            entry.mapped().sourceRank < present.node->mapped().sourceRank;
                        Scanner::combineCrossFile(present.node->mapped(), entry.mapped());
                        // The request's node is the one made when its first file was
                        // read, whichever slot that was: the one a serial scan makes.
                        if (earlier) {
                            std::swap(present.node->mapped(), entry.mapped());
                            present = part(h, table, w, i);
                        }
                        continue;
                    }
                    out.push_back(part(h, table, w, i));
                    index[k] = static_cast<std::uint32_t>(out.size());
                    if (out.size() * 2 > index.size()) {
                        // Rebuild twice as large from the hashes kept in `out`.
                        index.assign(index.size() * 2, 0);
                        mask = index.size() - 1;
                        for (std::size_t q = 0; q < out.size(); ++q) {
                            std::size_t j = out[q].hash & mask;
                            while (index[j] != 0)
                                j = (j + 1) & mask;
                            index[j] = static_cast<std::uint32_t>(q + 1);
                        }
                    }
                }
            }
        }
        if (buckets > 0) {
            // Ties broken by hash, so that the map is filled in the same order
            // whatever thread read which file.
            for (auto& e : out)
                e.order = e.hash % buckets;
            std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
                return a.order != b.order ? a.order < b.order : a.hash < b.hash;
            });
        }
    });
    c.diagnostics = std::move(c.slots[0].diagnostics);
    for (std::size_t w = 1; w < c.slots.size(); ++w)
        c.diagnostics.merge(c.slots[w].diagnostics);
    c.count = 0;
    for (const auto& part : c.parts)
        c.count += part.size();
}

// Reads every file of the homes on the workers; the tables come back uncombined.
Combined readAll(const std::vector<TranscriptFile>& files, bool parallel) {
    std::size_t workers = 1;
    if (parallel) {
        std::size_t cpus = std::max(1u, std::thread::hardware_concurrency());
        workers = std::max<std::size_t>(1, std::min(files.size(), cpus));
    }
    Partials partials(workers);

    if (workers == 1) {
        Partial p{detail::RecordTable(expectedRequests), {}, {}};
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
                    Partial p{detail::RecordTable(expectedRequests / workers + 64), {}, {}};
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

    Combined c;
    c.slots.reserve(workers);
    for (std::size_t w = 0; w < workers; ++w)
        c.slots.push_back(partials.take(w));
    return c;
}

// The counters a scan sets once all files are read.
void complete(ScanDiagnostics& d, std::size_t files, std::size_t requests,
              std::chrono::steady_clock::time_point started,
              std::map<std::string, std::int64_t>&& perHome) {
    d.filesScanned = static_cast<std::int64_t>(files);
    d.uniqueRequests = static_cast<std::int64_t>(requests);
    d.duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    d.perHome = std::move(perHome);
}

} // namespace

namespace {

// One folder of a listing: its path with a trailing separator.
struct Folder {
    std::string prefix;
};

// Lists one folder: its transcripts into `files`, its sub-folders into `folders`.
// Hidden entries are skipped and links to folders are not followed; a folder that
// cannot be opened or read contributes what was read of it.
void listFolder(const std::string& prefix, std::vector<std::string>& files,
                std::vector<Folder>& folders) {
    int fd;
    do {
        fd = ::open(prefix.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    while (const dirent* e = ::readdir(dir)) {
        const char* name = e->d_name;
        if (name[0] == '.') continue; // hidden, and "." and ".."
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            type = S_ISDIR(st.st_mode)   ? DT_DIR
                   : S_ISLNK(st.st_mode) ? DT_LNK
                   : S_ISREG(st.st_mode) ? DT_REG
                                         : DT_UNKNOWN;
        }
        if (type == DT_DIR) {
            folders.push_back({prefix + name + '/'});
            continue;
        }
        if (!hasJsonlExtension(name)) continue;
        if (type == DT_LNK) {
            // A link counts when it leads to a regular file.
            struct stat st;
            if (::fstatat(fd, name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
        } else if (type != DT_REG) {
            continue;
        }
        files.push_back(prefix + name);
    }
    ::closedir(dir);
}

} // namespace

std::optional<std::vector<std::string>> Scanner::jsonlFiles(const std::string& under) {
    std::error_code ec;
    if (!fs::is_directory(under, ec)) return std::nullopt;
    std::string base = under;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    if (base != "/") base += '/';
    {
        // A folder that cannot be opened cannot be listed; one that may not be read
        // lists as empty, like the folders below it that may not be read.
        int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            if (errno == EACCES) return std::vector<std::string>{};
            return std::nullopt;
        }
        ::close(fd);
    }
    // Level by level, the folders of a level listed on several threads: a listing
    // costs a few system calls per folder, and projects hold many small folders.
    std::vector<std::string> out;
    std::vector<Folder> level{{base}};
    while (!level.empty()) {
        std::vector<std::vector<std::string>> files(level.size());
        std::vector<std::vector<Folder>> below(level.size());
        parallel::forEach(
            level.size(), [&](std::size_t i) { listFolder(level[i].prefix, files[i], below[i]); },
            level.size() >= 16 ? SIZE_MAX : 1);
        std::vector<Folder> next;
        for (std::size_t i = 0; i < level.size(); ++i) {
            for (auto& f : files[i])
                out.push_back(std::move(f));
            for (auto& f : below[i])
                next.push_back(std::move(f));
        }
        level = std::move(next);
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

void Scanner::combineCrossFile(UsageRecord& present, const UsageRecord& other) {
    const std::int64_t input = std::max(present.input, other.input);
    const std::int64_t output = std::max(present.output, other.output);
    const std::int64_t cacheWrite5m = std::max(present.cacheWrite5m, other.cacheWrite5m);
    const std::int64_t cacheWrite1h = std::max(present.cacheWrite1h, other.cacheWrite1h);
    const std::int64_t cacheRead = std::max(present.cacheRead, other.cacheRead);
    const std::int64_t webSearch = std::max(present.webSearch, other.webSearch);
    const std::int64_t webFetch = std::max(present.webFetch, other.webFetch);
    const double timestamp = std::min(present.timestamp, other.timestamp);
    if (other.sourceRank < present.sourceRank) present = other;
    present.input = input;
    present.output = output;
    present.cacheWrite5m = cacheWrite5m;
    present.cacheWrite1h = cacheWrite1h;
    present.cacheRead = cacheRead;
    present.webSearch = webSearch;
    present.webFetch = webFetch;
    present.timestamp = timestamp;
}

void Scanner::mergeCrossFile(RequestMap& into, const std::string& key, const UsageRecord& record) {
    if (auto it = into.find(key); it != into.end())
        combineCrossFile(it->second, record);
    else
        into.emplace(key, record);
}

void Scanner::mergeCrossFile(RequestMap& into, std::string&& key, UsageRecord&& record) {
    if (auto it = into.find(key); it != into.end())
        combineCrossFile(it->second, record);
    else
        into.emplace(std::move(key), std::move(record));
}

Scanner::Keyed Scanner::scanKeyed(const std::vector<SourceHome>& homes, bool parallel) {
    auto started = std::chrono::steady_clock::now();
    std::map<std::string, std::int64_t> perHome;
    const auto files = fileList(homes, &perHome);
    Combined c = readAll(files, parallel);

    // Sized once for every request it may receive, so it never rehashes.
    std::size_t upperBound = 0;
    for (const auto& slot : c.slots)
        upperBound += slot.records.size();
    RequestMap records;
    records.reserve(std::max(upperBound, expectedRequests));
    combine(c, records.bucket_count());

    // One thread links the nodes into the map (it cannot be shared), in bucket order
    // and fetching each node a few steps ahead: the nodes were made by other threads
    // and are not in this one's cache. Nothing is allocated or copied here.
    constexpr std::size_t ahead = 16;
    for (auto& part : c.parts) {
        for (std::size_t i = 0; i < part.size(); ++i) {
            if (i + ahead < part.size()) {
                const auto& next = part[i + ahead];
                // The node's handle, its link and key (at its start), its cached hash
                // (at its end) and the key's text.
                const char* node = static_cast<const char*>(next.nodeAt);
                __builtin_prefetch(next.node);
                __builtin_prefetch(node, 1);
                __builtin_prefetch(node + sizeof(RequestMap::value_type), 1);
                __builtin_prefetch(next.keyAt);
            }
            records.insert(std::move(*part[i].node));
        }
    }

    complete(c.diagnostics, files.size(), records.size(), started, std::move(perHome));
    return {std::move(records), std::move(c.diagnostics)};
}

ScanResult Scanner::scan(const std::vector<SourceHome>& homes, bool parallel) {
    // The same requests as scanKeyed, without building the keyed map.
    auto started = std::chrono::steady_clock::now();
    std::map<std::string, std::int64_t> perHome;
    const auto files = fileList(homes, &perHome);
    Combined c = readAll(files, parallel);
    combine(c, 0);

    // The records in the order a serial scan creates them: by the file that first
    // holds them, then by their first line in it. Whatever the number of threads,
    // the list is the same, and consecutive records lie side by side in memory,
    // which is what a pass over them (an aggregation) reads fastest.
    std::vector<std::vector<char>> kept(c.slots.size());
    for (std::size_t w = 0; w < c.slots.size(); ++w)
        kept[w].assign(c.slots[w].records.size(), 0);
    for (const auto& part : c.parts)
        for (const auto& e : part)
            kept[e.slot][e.position] = 1;
    struct Run {
        std::int64_t rank;
        std::size_t slot, from, to;
    };
    std::vector<Run> runs;
    for (std::size_t w = 0; w < c.slots.size(); ++w) {
        const auto& read = c.slots[w].files;
        for (std::size_t f = 0; f < read.size(); ++f)
            runs.push_back({read[f].first, w, read[f].second,
                            f + 1 < read.size() ? read[f + 1].second : c.slots[w].records.size()});
    }
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.rank < b.rank; });
    ScanResult result;
    result.records.reserve(c.count);
    for (const Run& run : runs)
        for (std::size_t i = run.from; i < run.to; ++i)
            if (kept[run.slot][i])
                result.records.push_back(std::move(c.slots[run.slot].records.at(i).mapped()));
    complete(c.diagnostics, files.size(), result.records.size(), started, std::move(perHome));
    result.diagnostics = std::move(c.diagnostics);
    return result;
}

} // namespace vantery
