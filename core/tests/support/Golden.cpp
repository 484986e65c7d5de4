#include "Golden.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace vantery::testing {
namespace {

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        auto nl = text.find('\n', start);
        if (nl == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, nl + 1 - start));
        start = nl + 1;
    }
    return lines;
}

// A line as printed in a diff: control characters spelled out, the final newline kept
// out, and a missing final newline marked the way diff marks it.
std::string printable(std::string_view line) {
    bool newline = !line.empty() && line.back() == '\n';
    if (newline) line.remove_suffix(1);
    std::string out;
    for (char c : line) {
        auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", u);
            out += buf;
        } else {
            out += c;
        }
    }
    if (!newline) out += "\n\\ No newline at end of file";
    return out;
}

std::string readFile(const std::string& path, bool& found) {
    std::ifstream in(path, std::ios::binary);
    found = static_cast<bool>(in);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, std::string_view text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

} // namespace

std::string goldenPath(std::string_view relative) {
    return std::string(VANTERY_SOURCE_DIR) + "/testdata/" + std::string(relative);
}

std::string unifiedDiff(std::string_view expected, std::string_view actual,
                        std::string_view expectedName, std::string_view actualName, int context) {
    if (expected == actual) return {};
    auto a = splitLines(expected), b = splitLines(actual);
    const std::size_t n = a.size(), m = b.size();
    std::ostringstream out;
    out << "--- " << expectedName << "\n+++ " << actualName << "\n";
    if (n * m > 4'000'000) {
        out << "(texts too long for a line diff: " << n << " and " << m << " lines)\n";
        return out.str();
    }
    // Longest common subsequence of lines, then the edit script read off its table.
    std::vector<std::uint32_t> lcs((n + 1) * (m + 1), 0);
    auto at = [&](std::size_t i, std::size_t j) -> std::uint32_t& { return lcs[i * (m + 1) + j]; };
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            at(i, j) = a[i] == b[j] ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));
    struct Op {
        char kind; // ' ', '-', '+'
        std::size_t ai, bi;
    };
    std::vector<Op> ops;
    std::size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[i] == b[j]) {
            ops.push_back({' ', i++, j++});
        } else if (i < n && (j == m || at(i + 1, j) >= at(i, j + 1))) {
            ops.push_back({'-', i++, j});
        } else {
            ops.push_back({'+', i, j++});
        }
    }
    // Hunks: runs of changes with up to `context` unchanged lines around them.
    const auto ctx = static_cast<std::size_t>(context < 0 ? 0 : context);
    std::size_t k = 0;
    while (k < ops.size()) {
        while (k < ops.size() && ops[k].kind == ' ')
            ++k;
        if (k == ops.size()) break;
        std::size_t begin = k >= ctx ? k - ctx : 0, end = k;
        std::size_t unchanged = 0;
        while (end < ops.size()) {
            if (ops[end].kind == ' ') {
                if (++unchanged > 2 * ctx) break;
            } else {
                unchanged = 0;
            }
            ++end;
        }
        // Trim the trailing context to `ctx` lines.
        std::size_t trailing = 0;
        while (trailing < end - begin && ops[end - 1 - trailing].kind == ' ')
            ++trailing;
        if (trailing > ctx) end -= trailing - ctx;
        std::size_t aStart = ops[begin].ai, bStart = ops[begin].bi, aLen = 0, bLen = 0;
        for (std::size_t x = begin; x < end; ++x) {
            if (ops[x].kind != '+') ++aLen;
            if (ops[x].kind != '-') ++bLen;
        }
        out << "@@ -" << (aLen ? aStart + 1 : aStart) << ',' << aLen << " +"
            << (bLen ? bStart + 1 : bStart) << ',' << bLen << " @@\n";
        for (std::size_t x = begin; x < end; ++x) {
            std::string_view text = ops[x].kind == '+' ? b[ops[x].bi] : a[ops[x].ai];
            out << ops[x].kind << printable(text) << '\n';
        }
        k = end;
    }
    return out.str();
}

::testing::AssertionResult matchesGolden(std::string_view actual, std::string_view relative) {
    const std::string path = goldenPath(relative);
    const std::string actualPath = path + ".actual";
    bool found = false;
    std::string expected = readFile(path, found);
    const char* update = std::getenv("VANTERY_UPDATE_GOLDENS");
    if (update && std::string_view(update) == "1") {
        if (found && expected == actual) return ::testing::AssertionSuccess();
        writeFile(path, actual);
        return ::testing::AssertionFailure()
               << "golden " << path << " rewritten; check it by hand and run again";
    }
    if (found && expected == actual) {
        std::error_code ec;
        std::filesystem::remove(actualPath, ec); // a stale one from an earlier failure
        return ::testing::AssertionSuccess();
    }
    writeFile(actualPath, actual);
    if (!found)
        return ::testing::AssertionFailure()
               << "golden " << path << " is missing; the output was written to " << actualPath;
    return ::testing::AssertionFailure()
           << "output differs from golden " << path << " (written to " << actualPath << ")\n"
           << unifiedDiff(expected, actual, path, actualPath);
}

} // namespace vantery::testing
