#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "RecordBuilder.hpp"
#include "TempDir.hpp"
#include "vantery/report/ProjectResolver.hpp"

using namespace vantery;
using vantery::testing::TempDir;
using P = ProjectResolver::Provenance;

namespace {

ProjectResolver::Resolved answer(std::string canonical, P p) {
    return {std::move(canonical), std::string(ProjectResolver::rawValue(p))};
}

// A home with a repository (a subfolder of it, one of its worktrees), a worktree of no
// repository and a plain folder, and what each folder resolves to with the disk
// searched and without.
class ProjectResolverTree : public ::testing::Test {
  protected:
    ProjectResolverTree() {
        tmp.mkdir("src/app/.git");
        tmp.mkdir("src/app/pkg/lib");
        tmp.mkdir("src/app/.claude/worktrees/agent-7/pkg");
        tmp.mkdir("other/.claude/worktrees/agent-1/x");
        tmp.mkdir("scratch");
    }
    struct Case {
        std::string dir;
        ProjectResolver::Resolved onDisk, withoutDisk;
    };
    const std::vector<Case> cases = {
        {"/src/app", answer("~/src/app", P::exact), answer("~/src/app", P::rawFallback)},
        {"/src/app/pkg/lib", answer("~/src/app", P::gitRootFolded),
         answer("~/src/app/pkg/lib", P::rawFallback)},
        {"/src/app/.claude/worktrees/agent-7/pkg", answer("~/src/app", P::worktreeFolded),
         answer("~/src/app", P::worktreeFolded)},
        // No repository anywhere above: the worktree fold stands on its own.
        {"/other/.claude/worktrees/agent-1/x", answer("~/other", P::worktreeFolded),
         answer("~/other", P::worktreeFolded)},
        {"/scratch", answer("~/scratch", P::rawFallback), answer("~/scratch", P::rawFallback)},
    };
    TempDir tmp;
    const std::string home = tmp.path();
};

} // namespace

TEST_F(ProjectResolverTree, FoldsSubfoldersAndWorktreesOnDisk) {
    ProjectResolver r(home, true);
    for (const auto& c : cases)
        EXPECT_EQ(r.resolve(home + c.dir), c.onDisk) << c.dir;
}

TEST_F(ProjectResolverTree, WithoutDiskOnlyWorktreesFold) {
    ProjectResolver r(home, false);
    for (const auto& c : cases)
        EXPECT_EQ(r.resolve(home + c.dir), c.withoutDisk) << c.dir;
}

TEST(ProjectResolver, GitFileMarksRootAndSearchStopsAfterFortyFolders) {
    TempDir tmp;
    tmp.write("sub/.git",
              "gitdir: elsewhere\n"); // a worktree checkout has a .git file, not a folder
    tmp.mkdir("sub/deep");
    ProjectResolver r("/nonexistent-home", true);
    const std::string base = tmp.path();
    EXPECT_EQ(r.resolve(base + "/sub/deep"), answer(base + "/sub", P::gitRootFolded));

    // The directory itself and 39 ancestors are examined; a root 40 levels up is not.
    std::string near = base + "/sub", far = base + "/sub";
    for (int i = 0; i < 39; ++i)
        near += "/d";
    far = near + "/d";
    std::filesystem::create_directories(far);
    EXPECT_EQ(r.resolve(near), answer(base + "/sub", P::gitRootFolded));
    EXPECT_EQ(r.resolve(far), answer(far, P::rawFallback));
}

TEST(ProjectResolver, MissingDirectoryUsesTranscriptFolder) {
    ProjectResolver r("/Users/u", true);
    EXPECT_EQ(r.resolve("", "/Users/u/.claude/projects/-Users-u-src-app/abc.jsonl"),
              answer("-Users-u-src-app", P::missing));
    EXPECT_EQ(r.resolve("", ""), answer("(unknown cwd)", P::missing));
    EXPECT_EQ(r.memoSize(), 0u); // empty directories are never remembered
}

TEST(ProjectResolver, TildeIsAPlainTextPrefix) {
    ProjectResolver r("/Users/u", false);
    EXPECT_EQ(r.resolve("/Users/ux/p"), answer("~x/p", P::rawFallback));
    EXPECT_EQ(r.tildify("/Users/u"), "~");
    EXPECT_EQ(r.tildify("/Users/u/a"), "~/a");
    EXPECT_EQ(r.tildify("/opt/Users/u"), "/opt/Users/u");
    // An empty home folds nothing rather than prefixing every path with "~".
    EXPECT_EQ(ProjectResolver("", false).tildify("/a"), "/a");
}

TEST(ProjectResolver, RootFolderIsNeverARepository) {
    ProjectResolver r("/Users/u", true);
    // "/" and the empty path are not searched; "/" itself is never examined.
    EXPECT_EQ(r.resolve("/"), answer("/", P::rawFallback));
}

TEST(ProjectResolver, ARelativeNameOfOneCharacterIsNeverSearched) {
    // One character, two bytes: neither "\u00e9" nor its subfolder finds the .git in it.
    TempDir tmp;
    tmp.mkdir("\u00e9/.git");
    tmp.mkdir("\u00e9/x");
    tmp.mkdir("\u00e9\u00e9/.git");
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(tmp.path());
    ProjectResolver r("/nonexistent-home", true);
    auto single = r.resolve("\u00e9");
    auto below = r.resolve("\u00e9/x");
    auto two = r.resolve("\u00e9\u00e9");
    std::filesystem::current_path(before);
    EXPECT_EQ(single, answer("\u00e9", P::rawFallback));
    EXPECT_EQ(below, answer("\u00e9/x", P::rawFallback));
    EXPECT_EQ(two, answer("\u00e9\u00e9", P::exact)); // two characters are searched
}

TEST(ProjectResolver, ProvenanceRawValues) {
    for (auto p : {P::exact, P::worktreeFolded, P::gitRootFolded, P::rawFallback, P::missing})
        EXPECT_EQ(ProjectResolver::provenanceFromRawValue(ProjectResolver::rawValue(p)), p);
    EXPECT_EQ(ProjectResolver::rawValue(P::worktreeFolded), "worktreeFolded");
    EXPECT_FALSE(ProjectResolver::provenanceFromRawValue("Exact"));
    EXPECT_EQ((ProjectResolver::Resolved{"x", "bogus"}).provenance(), P::rawFallback);
    EXPECT_EQ((ProjectResolver::Resolved{"x", "gitRootFolded"}).provenance(), P::gitRootFolded);
}

TEST(ProjectResolver, MemoIsSharedByCopiesAndOutlivesDiskChanges) {
    TempDir tmp;
    const std::string home = tmp.path();
    const std::string dir = tmp.mkdir("repo/pkg");
    ProjectResolver r(home, true);
    ProjectResolver copy = r;
    EXPECT_EQ(copy.resolve(dir), answer("~/repo/pkg", P::rawFallback));
    EXPECT_EQ(r.memoSize(), 1u);

    // The disk changes, but the remembered answer stands for every copy: the disk
    // is consulted once per directory.
    tmp.mkdir("repo/.git");
    EXPECT_EQ(r.resolve(dir), answer("~/repo/pkg", P::rawFallback));
    // A new resolver starts with a fresh memo and sees the repository.
    EXPECT_EQ(ProjectResolver(home, true).resolve(dir), answer("~/repo", P::gitRootFolded));
}

TEST(ProjectResolver, ConcurrentResolutionAgrees) {
    TempDir tmp;
    const std::string home = tmp.path();
    tmp.mkdir("r/.git");
    std::vector<std::string> dirs;
    for (int i = 0; i < 50; ++i)
        dirs.push_back(tmp.mkdir("r/p" + std::to_string(i) + "/q"));
    ProjectResolver shared(home, true);
    std::vector<std::thread> threads;
    std::vector<int> wrong(8, 0);
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t, copy = shared] {
            for (int round = 0; round < 20; ++round)
                for (std::size_t i = 0; i < dirs.size(); ++i) {
                    const auto& d = dirs[(i * 7 + static_cast<std::size_t>(t)) % dirs.size()];
                    if (!(copy.resolve(d) == answer("~/r", P::gitRootFolded)))
                        ++wrong[static_cast<std::size_t>(t)];
                }
        });
    for (auto& th : threads)
        th.join();
    for (int w : wrong)
        EXPECT_EQ(w, 0);
    EXPECT_EQ(shared.memoSize(), dirs.size());
}
