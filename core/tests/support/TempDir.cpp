#include "TempDir.hpp"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace vantery::testing {
namespace fs = std::filesystem;

std::string fileContent(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TempDir::TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "vantery-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may make folders unreadable; give access back so removal succeeds.
    for (auto it = fs::recursive_directory_iterator(
             path_, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string TempDir::operator/(std::string_view rel) const {
    return path_ + "/" + std::string(rel);
}

static std::string writeFile(const std::string& full, std::string_view content,
                             std::ios::openmode mode) {
    fs::create_directories(fs::path(full).parent_path());
    std::ofstream out(full, mode | std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + full);
    return full;
}

std::string TempDir::write(std::string_view rel, std::string_view content) const {
    return writeFile(*this / rel, content, std::ios::out | std::ios::trunc);
}

std::string TempDir::append(std::string_view rel, std::string_view content) const {
    return writeFile(*this / rel, content, std::ios::out | std::ios::app);
}

std::string TempDir::mkdir(std::string_view rel) const {
    auto full = *this / rel;
    fs::create_directories(full);
    return full;
}

std::string TempHome::transcript(std::string_view rel, std::string_view content,
                                 std::string_view claudeHome) const {
    return write(std::string(claudeHome) + "/projects/" + std::string(rel), content);
}

} // namespace vantery::testing
