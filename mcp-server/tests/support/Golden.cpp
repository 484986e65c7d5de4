#include "Golden.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

namespace vantery::mcp::testing {
namespace {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        auto nl = text.find('\n', start);
        if (nl == std::string::npos) {
            out.push_back(text.substr(start) + "\n\\ No newline at end of file");
            break;
        }
        out.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return out;
}

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

struct Edit {
    char op;          // ' ', '-', '+'
    std::size_t a, b; // line index in from / to (of the line, or where it would go)
};

} // namespace

std::string unifiedDiff(const std::string& from, const std::string& to, const std::string& fromName,
                        const std::string& toName) {
    const auto a = splitLines(from), b = splitLines(to);
    const std::size_t n = a.size(), m = b.size();
    // Longest common subsequence by dynamic programming: answers are short.
    std::vector<std::vector<std::uint32_t>> lcs(n + 1, std::vector<std::uint32_t>(m + 1, 0));
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            lcs[i][j] =
                a[i] == b[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
    std::vector<Edit> edits;
    std::size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[i] == b[j]) {
            edits.push_back({' ', i++, j++});
        } else if (i < n && (j == m || lcs[i + 1][j] >= lcs[i][j + 1])) {
            edits.push_back({'-', i++, j});
        } else {
            edits.push_back({'+', i, j++});
        }
    }

    std::string out = "--- " + fromName + "\n+++ " + toName + "\n";
    const std::size_t context = 3;
    std::size_t k = 0;
    while (k < edits.size()) {
        while (k < edits.size() && edits[k].op == ' ')
            ++k;
        if (k == edits.size()) break;
        std::size_t start = k >= context ? k - context : 0;
        std::size_t lastChange = k;
        for (std::size_t e = k + 1; e < edits.size(); ++e) {
            if (e - lastChange > 2 * context) break;
            if (edits[e].op != ' ') lastChange = e;
        }
        // One past the hunk's last line, its trailing context included.
        const std::size_t end = std::min(edits.size(), lastChange + context + 1);
        std::size_t aCount = 0, bCount = 0;
        for (std::size_t e = start; e < end; ++e) {
            if (edits[e].op != '+') ++aCount;
            if (edits[e].op != '-') ++bCount;
        }
        out += "@@ -" + std::to_string(edits[start].a + (aCount ? 1 : 0)) + "," +
               std::to_string(aCount) + " +" + std::to_string(edits[start].b + (bCount ? 1 : 0)) +
               "," + std::to_string(bCount) + " @@\n";
        for (std::size_t e = start; e < end; ++e) {
            const std::string& line = edits[e].op == '+' ? b[edits[e].b] : a[edits[e].a];
            out += edits[e].op + line + "\n";
        }
        k = end;
    }
    return out;
}

::testing::AssertionResult matchesGolden(const std::string& goldenPath, const std::string& actual) {
    const std::string actualPath = goldenPath + ".actual";
    const char* update = std::getenv("VANTERY_UPDATE_GOLDEN");
    if (update && std::string(update) == "1") {
        writeFile(goldenPath, actual);
        std::filesystem::remove(actualPath);
        return ::testing::AssertionSuccess() << "rewrote " << goldenPath;
    }
    auto golden = readFile(goldenPath);
    if (golden && *golden == actual) {
        std::error_code ec;
        std::filesystem::remove(actualPath, ec);
        return ::testing::AssertionSuccess();
    }
    writeFile(actualPath, actual);
    if (!golden)
        return ::testing::AssertionFailure()
               << "no golden file " << goldenPath << "; the answer was written to " << actualPath
               << ":\n"
               << actual;
    return ::testing::AssertionFailure()
           << "the answer differs from " << goldenPath << " (written to " << actualPath << "):\n"
           << unifiedDiff(*golden, actual, goldenPath, actualPath);
}

} // namespace vantery::mcp::testing
