#pragma once
// A temporary folder for tests, removed with everything in it on destruction.
#include <filesystem>
#include <string>
#include <string_view>

namespace vantery::testing {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    /// path() + "/" + rel.
    std::string operator/(std::string_view rel) const;

    /// Writes content to rel (parents created), replacing the file. Returns its full path.
    std::string write(std::string_view rel, std::string_view content) const;
    /// Appends content to rel (created with its parents when missing). Returns its full path.
    std::string append(std::string_view rel, std::string_view content) const;
    /// Creates the folder rel with its parents. Returns its full path.
    std::string mkdir(std::string_view rel) const;

  private:
    std::string path_;
};

/// The whole content of the file at path; empty when it cannot be read.
std::string fileContent(const std::filesystem::path& path);

/// A fake user home: TempDir plus the transcript path of a Claude home.
class TempHome : public TempDir {
  public:
    /// Writes a transcript under <home>/<claudeHome>/projects/<rel>.
    std::string transcript(std::string_view rel, std::string_view content,
                           std::string_view claudeHome = ".claude") const;
};

} // namespace vantery::testing
