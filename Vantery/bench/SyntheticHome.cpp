#include "SyntheticHome.hpp"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <stdexcept>

#include <fmt/format.h>

namespace vantery::app::bench {
namespace {

constexpr int requestsPerFile = 500;
constexpr int days = 365;
constexpr double workdaySeconds = 8 * 3600.0;

std::string isoUtc(double instant) {
    const auto secs = static_cast<std::time_t>(instant);
    std::tm tm{};
    gmtime_r(&secs, &tm);
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}Z", tm.tm_year + 1900,
                       tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                       static_cast<int>((instant - static_cast<double>(secs)) * 1000));
}

double sinceMidnight(double now) {
    const auto secs = static_cast<std::time_t>(now);
    std::tm tm{};
    localtime_r(&secs, &tm);
    return tm.tm_hour * 3600.0 + tm.tm_min * 60.0 + tm.tm_sec;
}

const char* modelOf(std::int64_t n) {
    static const char* models[] = {
        "claude-sonnet-4-5-20250929", "claude-opus-4-5", "claude-haiku-4-5",
        "claude-sonnet-4-5-20250929", "claude-opus-4-1", "gpt-x"}; // the last has no price
    return models[n % 6];
}

// Main session mostly; every fifth request a named sub-agent, every seventh an anonymous one.
std::string agentOf(std::int64_t file, std::int64_t n) {
    if (n % 5 == 0)
        return fmt::format(R"("agentId":"a{}-{:016x}",)", "worker" + std::to_string(file % 9),
                           file);
    if (n % 7 == 0) return fmt::format(R"("agentId":"helper{}",)", file % 13);
    return {};
}

} // namespace

std::uint64_t writeSyntheticHome(const std::string& home, std::int64_t requests, double now) {
    namespace fs = std::filesystem;
    const std::int64_t files = (requests + requestsPerFile - 1) / requestsPerFile;
    std::uint64_t bytes = 0;
    std::int64_t n = 0;
    for (std::int64_t f = 0; f < files; ++f) {
        const std::string claudeHome = f % 3 == 2 ? ".claude-work" : ".claude";
        const std::int64_t project = f % 40;
        const fs::path dir = fs::path(home) / claudeHome / "projects" /
                             fmt::format("-home-u-src-project{}", project);
        fs::create_directories(dir);
        const std::string session =
            fmt::format("{:08x}-0000-4000-8000-{:012x}", f * 2654435761u % 0xffffffffu, f);
        std::FILE* out = std::fopen((dir / (session + ".jsonl")).c_str(), "wb");
        if (!out) throw std::runtime_error("cannot write under " + dir.string());
        // Oldest files first; the last files end a minute before now.
        const std::int64_t daysAgo = (files - 1 - f) * days / files;
        const double end = now - 60 - static_cast<double>(daysAgo) * 86400;
        // Today's requests stay within today.
        const double window =
            daysAgo == 0 ? std::min(workdaySeconds, sinceMidnight(now) - 60) : workdaySeconds;
        const std::int64_t inFile = std::min<std::int64_t>(requestsPerFile, requests - n);
        for (std::int64_t j = 0; j < inFile; ++j, ++n) {
            const double at =
                end - window + window * static_cast<double>(j + 1) / static_cast<double>(inFile);
            const std::string line = fmt::format(
                R"({{"type":"assistant","timestamp":"{}","requestId":"req_{}","sessionId":"{}",)"
                R"("cwd":"/home/u/src/project{}",{}"message":{{"id":"msg_{}","model":"{}",)"
                R"("usage":{{"input_tokens":{},"output_tokens":{},"cache_read_input_tokens":{},)"
                R"("cache_creation_input_tokens":{}}}}}}})"
                "\n",
                isoUtc(at), n, session, project, agentOf(f, n), n, modelOf(n), 50 + n % 3000,
                200 + n % 1500, 20000 + n % 90000, n % 4 == 0 ? 8000 : 0);
            bytes += std::fwrite(line.data(), 1, line.size(), out);
        }
        std::fclose(out);
    }
    return bytes;
}

} // namespace vantery::app::bench
