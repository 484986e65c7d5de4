#pragma once
// Turns a request's raw working directory into one project label: worktrees fold
// back to their repository, subfolders of a repository fold to its root.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vantery {

/// Resolves working directories to project labels, remembering every answer.
/// Copies share one memo; every member is safe to call from several threads at once.
class ProjectResolver {
  public:
    /// How a label was reached.
    enum class Provenance { exact, worktreeFolded, gitRootFolded, rawFallback, missing };

    /// The case name of a provenance ("exact", "worktreeFolded", …).
    static std::string_view rawValue(Provenance p) noexcept;
    /// The provenance with that exact case name; absent for any other text.
    static std::optional<Provenance> provenanceFromRawValue(std::string_view raw) noexcept;

    /// One answer: the project label and the raw value of its provenance.
    struct Resolved {
        std::string canonical;
        std::string provenanceRaw;
        /// The provenance named by provenanceRaw; rawFallback for unknown text.
        Provenance provenance() const noexcept;
        friend bool operator==(const Resolved&, const Resolved&) = default;
    };

    /// A resolver with a fresh, empty memo. `home` is replaced by "~" at the start of
    /// labels; with `consultDisk` false no `.git` entry is ever looked for.
    ProjectResolver(std::string home, bool consultDisk);

    const std::string& home() const noexcept { return home_; }
    bool consultDisk() const noexcept { return consultDisk_; }

    /// The project of a working directory. An empty `rawCwd` is never remembered and
    /// gives provenance "missing" with the transcript's folder name, or "(unknown cwd)".
    /// Each distinct non-empty directory looks at the disk at most once per memo
    /// (unless two threads race on the same new directory). Never fails.
    Resolved resolve(std::string_view rawCwd, std::string_view transcriptPath = {}) const;

    /// The path with a leading `home` (plain text prefix) replaced by "~".
    std::string tildify(std::string_view path) const;

    /// Number of directories remembered so far (for diagnostics and tests).
    std::size_t memoSize() const;

  private:
    struct Cache;
    std::string home_;
    std::shared_ptr<Cache> cache_;
    bool consultDisk_;
};

} // namespace vantery
