#include "vantery/report/ProjectResolver.hpp"

#include <array>
#include <mutex>
#include <string>
#include <unordered_map>

#include <sys/stat.h>

#include "vantery/base/Text.hpp"

namespace vantery {
namespace {

constexpr std::array<std::string_view, 5> rawValues = {"exact", "worktreeFolded", "gitRootFolded",
                                                       "rawFallback", "missing"};
constexpr std::string_view worktreeMarker = "/.claude/worktrees/";
constexpr std::string_view unknownCwd = "(unknown cwd)";
// How many folders (the directory and its ancestors) may be examined for a `.git` entry.
constexpr int maxFoldersExamined = 40;

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept {
        return std::hash<std::string_view>{}(s);
    }
};

// The path without its last component; a trailing "/" is ignored. "/x" gives "/",
// a name without "/" gives "".
std::string_view parentOf(std::string_view d) {
    std::string_view t = d;
    while (t.size() > 1 && t.back() == '/')
        t.remove_suffix(1);
    auto slash = t.rfind('/');
    if (slash == std::string_view::npos) return {};
    if (slash == 0) return t.substr(0, 1);
    return t.substr(0, slash);
}

std::string_view lastComponent(std::string_view p) {
    while (p.size() > 1 && p.back() == '/')
        p.remove_suffix(1);
    auto slash = p.rfind('/');
    return slash == std::string_view::npos ? p : p.substr(slash + 1);
}

bool entryExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Whether a path is a single character or none: "", "/" or a one-letter relative name.
bool atMostOneCharacter(std::string_view p) {
    return p.size() < 2 || text::detail::clusterLength(p, 0) == p.size();
}

std::optional<std::string> repositoryRoot(std::string_view start) {
    if (atMostOneCharacter(start)) return std::nullopt;
    std::string_view d = start;
    std::string probe;
    for (int i = 0; i < maxFoldersExamined; ++i) {
        probe.assign(d);
        probe += "/.git";
        if (entryExists(probe)) return std::string(d);
        auto parent = parentOf(d);
        if (parent == d || atMostOneCharacter(parent)) return std::nullopt;
        d = parent;
    }
    return std::nullopt;
}

} // namespace

struct ProjectResolver::Cache {
    std::mutex lock;
    std::unordered_map<std::string, Resolved, StringHash, std::equal_to<>> map;
};

std::string_view ProjectResolver::rawValue(Provenance p) noexcept {
    return rawValues[static_cast<std::size_t>(p)];
}

std::optional<ProjectResolver::Provenance>
ProjectResolver::provenanceFromRawValue(std::string_view raw) noexcept {
    for (std::size_t i = 0; i < rawValues.size(); ++i)
        if (rawValues[i] == raw) return static_cast<Provenance>(i);
    return std::nullopt;
}

ProjectResolver::Provenance ProjectResolver::Resolved::provenance() const noexcept {
    return provenanceFromRawValue(provenanceRaw).value_or(Provenance::rawFallback);
}

ProjectResolver::ProjectResolver(std::string home, bool consultDisk)
    : home_(std::move(home)), cache_(std::make_shared<Cache>()), consultDisk_(consultDisk) {}

std::string ProjectResolver::tildify(std::string_view path) const {
    // An empty home would put "~" in front of every path.
    if (home_.empty() || path.substr(0, home_.size()) != home_) return std::string(path);
    std::string out = "~";
    out.append(path.substr(home_.size()));
    return out;
}

std::size_t ProjectResolver::memoSize() const {
    std::lock_guard guard(cache_->lock);
    return cache_->map.size();
}

ProjectResolver::Resolved ProjectResolver::resolve(std::string_view rawCwd,
                                                   std::string_view transcriptPath) const {
    if (rawCwd.empty()) {
        std::string label;
        if (!transcriptPath.empty()) label = std::string(lastComponent(parentOf(transcriptPath)));
        if (label.empty() || label == "/") label = std::string(unknownCwd);
        return {std::move(label), std::string(rawValue(Provenance::missing))};
    }
    {
        std::lock_guard guard(cache_->lock);
        if (auto it = cache_->map.find(rawCwd); it != cache_->map.end()) return it->second;
    }

    // Computed without the lock: the disk may be slow, and a racing duplicate is harmless.
    std::string p(rawCwd);
    auto provenance = Provenance::exact;
    if (auto at = p.find(worktreeMarker); at != std::string::npos) {
        p.resize(at);
        provenance = Provenance::worktreeFolded;
    }
    std::optional<std::string> root;
    if (consultDisk_) root = repositoryRoot(p);
    if (root) {
        if (*root != p) {
            p = std::move(*root);
            if (provenance != Provenance::worktreeFolded) provenance = Provenance::gitRootFolded;
        }
    } else if (provenance == Provenance::exact) {
        provenance = Provenance::rawFallback;
    }
    Resolved answer{tildify(p), std::string(rawValue(provenance))};

    std::lock_guard guard(cache_->lock);
    cache_->map.insert_or_assign(std::string(rawCwd), answer);
    return answer;
}

} // namespace vantery
