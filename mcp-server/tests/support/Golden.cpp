#include "Golden.hpp"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "Process.hpp"

namespace vantery::mcp::testing {
namespace {

std::optional<std::string> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeAll(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

} // namespace

std::string unifiedDiff(const std::string& before, const std::string& after,
                        const std::string& beforeName, const std::string& afterName) {
    const std::vector<std::string> a = lines(before), b = lines(after);
    // Longest common subsequence table, from the ends.
    std::vector<std::vector<std::size_t>> lcs(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = a.size(); i-- > 0;)
        for (std::size_t j = b.size(); j-- > 0;)
            lcs[i][j] =
                a[i] == b[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
    std::string out = "--- " + beforeName + "\n+++ " + afterName + "\n@@ -1," +
                      std::to_string(a.size()) + " +1," + std::to_string(b.size()) + " @@\n";
    std::size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (i < a.size() && j < b.size() && a[i] == b[j]) {
            out += " " + a[i++] + "\n";
            ++j;
        } else if (i < a.size() && (j == b.size() || lcs[i + 1][j] >= lcs[i][j + 1])) {
            out += "-" + a[i++] + "\n";
        } else {
            out += "+" + b[j++] + "\n";
        }
    }
    return out;
}

::testing::AssertionResult matchesGolden(const std::string& goldenPath, const std::string& actual) {
    const char* update = std::getenv("VANTERY_UPDATE_GOLDEN");
    if (update && std::string(update) == "1") {
        writeAll(goldenPath, actual);
        return ::testing::AssertionSuccess() << "rewrote " << goldenPath;
    }
    auto golden = readAll(goldenPath);
    const std::string actualPath = goldenPath + ".actual";
    if (golden && *golden == actual) {
        std::error_code ec;
        std::filesystem::remove(actualPath, ec);
        return ::testing::AssertionSuccess();
    }
    writeAll(actualPath, actual);
    if (!golden)
        return ::testing::AssertionFailure()
               << "no golden file " << goldenPath << "; the answer was written to " << actualPath;
    auto failure = ::testing::AssertionFailure()
                   << "answer differs from " << goldenPath << " (written to " << actualPath << ")\n"
                   << unifiedDiff(*golden, actual, goldenPath, actualPath);
    if (golden->size() != actual.size() && lines(*golden) == lines(actual))
        failure << "(the texts differ only in their final line feed)\n";
    return failure;
}

} // namespace vantery::mcp::testing
