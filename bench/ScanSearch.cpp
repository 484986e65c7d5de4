// The line search the scan runs before parsing, timed alone against the library
// searches it could be: every line of the home, already in memory, searched for the
// usage needle by each candidate in turn.
#include "ScanSearch.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "BenchUtil.hpp"
#include "base/ByteSearch.hpp"
#include "vantery/ingest/Scanner.hpp"

namespace bench {
namespace {

using vantery::Scanner;

struct Pass {
    double cpuSeconds = 0; ///< time spent searching, summed over the threads
    std::int64_t found = 0;
};

// Reads a whole file into `bytes` and cuts it into its complete lines.
void loadLines(const std::string& path, std::string& bytes, std::vector<std::string_view>& lines) {
    bytes.clear();
    lines.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    char block[1 << 16];
    for (ssize_t n; (n = ::read(fd, block, sizeof block)) > 0;)
        bytes.append(block, static_cast<std::size_t>(n));
    ::close(fd);
    std::size_t start = 0;
    for (std::size_t nl; (nl = bytes.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.emplace_back(bytes.data() + start, nl - start);
}

template <class Search>
Pass timePass(const std::vector<vantery::TranscriptFile>& files, std::size_t workers,
              Search search) {
    std::atomic<std::size_t> next{0};
    std::vector<Pass> perThread(workers);
    auto work = [&](Pass& pass) {
        std::string bytes;
        std::vector<std::string_view> lines;
        for (std::size_t i; (i = next.fetch_add(1)) < files.size();) {
            loadLines(files[i].path, bytes, lines);
            const double t0 = now();
            for (std::string_view line : lines)
                pass.found += search(line, Scanner::usageNeedle) ? 1 : 0;
            pass.cpuSeconds += now() - t0;
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t w = 1; w < workers; ++w)
        threads.emplace_back(work, std::ref(perThread[w]));
    work(perThread[0]);
    for (auto& t : threads)
        t.join();
    Pass total;
    for (const Pass& p : perThread) {
        total.cpuSeconds += p.cpuSeconds;
        total.found += p.found;
    }
    return total;
}

bool byFilter(std::string_view line, std::string_view needle) {
    return vantery::containsBytes(line, needle);
}
bool byMemmem(std::string_view line, std::string_view needle) {
    return ::memmem(line.data(), line.size(), needle.data(), needle.size()) != nullptr;
}
bool byStdSearch(std::string_view line, std::string_view needle) {
    return std::search(line.begin(), line.end(), needle.begin(), needle.end()) != line.end();
}

} // namespace

nlohmann::ordered_json searchTiming(const std::vector<vantery::TranscriptFile>& files,
                                    std::size_t workers, std::uint64_t bytes) {
    struct Candidate {
        const char* name;
        bool (*search)(std::string_view, std::string_view);
        std::vector<double> seconds;
        std::int64_t found = 0;
    };
    Candidate candidates[] = {{"containsBytes", byFilter, {}},
                              {"memmem", byMemmem, {}},
                              {"std::search", byStdSearch, {}}};
    // Rounds alternate the candidates, so that a loaded machine weighs on all alike.
    constexpr int rounds = 5;
    for (int r = 0; r < rounds; ++r)
        for (Candidate& c : candidates) {
            const Pass pass = timePass(files, workers, c.search);
            c.seconds.push_back(pass.cpuSeconds);
            c.found = pass.found;
        }
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    for (Candidate& c : candidates) {
        std::sort(c.seconds.begin(), c.seconds.end());
        const double median = c.seconds[rounds / 2];
        out[c.name] = {
            {"linesFound", c.found},
            {"medianCpuSeconds", median},
            {"bytesPerCpuSecond", median > 0 ? static_cast<double>(bytes) / median : 0.0}};
    }
    return out;
}

} // namespace bench
