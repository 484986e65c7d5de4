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

#include "base/FileIO.hpp"
#include "base/Parallel.hpp"
#include "ingest/FileReading.hpp"
#include "ingest/LineReader.hpp"

namespace vantery {
namespace fs = std::filesystem;

namespace {

// Exactly the extension "jsonl": text after the last dot of a name that does not
// start with that dot.
bool hasJsonlExtension(std::string_view name) {
    auto dot = name.rfind('.');
    return dot != std::string_view::npos && dot > 0 &&
           name.compare(dot + 1, std::string::npos, "jsonl") == 0;
}

// The blocks and counters of every listed file, read on the workers; each worker
// takes the next unread file in list order.
struct Read {
    std::shared_ptr<RequestDictionary> dictionary = std::make_shared<RequestDictionary>();
    std::vector<std::shared_ptr<const FileBlock>> blocks;
    ScanDiagnostics diagnostics;
};

Read readAll(const std::vector<TranscriptFile>& files, bool parallel) {
    Read out;
    out.blocks.resize(files.size());
    std::vector<ScanDiagnostics> diags(files.size());
    parallel::forEach(
        files.size(),
        [&](std::size_t i) {
            try {
                auto r = detail::readFile(files[i], 0, std::nullopt, nullptr, *out.dictionary);
                if (r.failed)
                    r.diagnostics.filesUnreadable.push_back(files[i].path);
                else
                    r.diagnostics.bytesRead += r.consumed;
                out.blocks[i] = std::move(r.block);
                diags[i] = std::move(r.diagnostics);
            } catch (const std::bad_alloc&) {
                // A file whose lines cannot be held is unreadable; the scan goes on.
                out.blocks[i] = FileBlock::Builder().finish();
                diags[i] = ScanDiagnostics{};
                diags[i].filesUnreadable.push_back(files[i].path);
            }
        },
        parallel ? SIZE_MAX : 1);
    // In list order, so that ties (the longest line) go the same way on any thread count.
    for (const ScanDiagnostics& d : diags)
        out.diagnostics.merge(d);
    return out;
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
    DIR* dir = fileio::openFolder(prefix);
    if (!dir) return;
    const int fd = ::dirfd(dir);
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
    if (other.sourceRank < present.sourceRank) {
        // The earlier file's fields, with what the later one saw folded in.
        const RequestCounts seen = present;
        const double seenAt = present.timestamp;
        present = other;
        present.fold(seen, seenAt);
    } else {
        present.fold(other, other.timestamp);
    }
}

Scanner::Table Scanner::scanTable(const std::vector<SourceHome>& homes, bool parallel) {
    auto started = std::chrono::steady_clock::now();
    std::map<std::string, std::int64_t> perHome;
    const auto files = fileList(homes, &perHome);
    Read read = readAll(files, parallel);
    auto table = std::make_shared<const RequestTable>(read.dictionary, std::move(read.blocks));
    ScanDiagnostics& d = read.diagnostics;
    d.filesScanned = static_cast<std::int64_t>(files.size());
    d.uniqueRequests = static_cast<std::int64_t>(table->size());
    d.duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    d.perHome = std::move(perHome);
    return {std::move(table), std::move(d)};
}

Scanner::Keyed Scanner::scanKeyed(const std::vector<SourceHome>& homes, bool parallel) {
    Table t = scanTable(homes, parallel);
    Keyed out;
    out.records.reserve(t.table->size());
    const auto& blocks = t.table->blocks();
    for (std::size_t b = 0; b < blocks.size(); ++b)
        for (std::size_t i = 0; i < blocks[b]->size(); ++i) {
            UsageRecord r = t.table->record(blocks[b]->row(i));
            r.sourceRank = static_cast<std::int64_t>(b);
            if (auto it = out.records.find(blocks[b]->keyText(i)); it != out.records.end())
                combineCrossFile(it->second, r);
            else
                out.records.emplace(blocks[b]->keyText(i), std::move(r));
        }
    out.diagnostics = std::move(t.diagnostics);
    return out;
}

ScanResult Scanner::scan(const std::vector<SourceHome>& homes, bool parallel) {
    Table t = scanTable(homes, parallel);
    return {t.table->records(), std::move(t.diagnostics)};
}

} // namespace vantery
