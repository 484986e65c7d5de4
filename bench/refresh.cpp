// `refresh`: the incremental cache on a home: a first refresh without a cache, a
// save, a load into a fresh cache, a refresh with nothing changed, 1 MB appended
// across 10 files and a refresh again; next to a parallel full scan of the same home.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "BenchUtil.hpp"
#include "vantery/CacheFile.hpp"
#include "vantery/ScanCache.hpp"
#include "vantery/Scanner.hpp"

namespace bench {
namespace {

using nlohmann::ordered_json;

// About `bytes` of new, complete usage lines.
std::string newLines(std::size_t bytes, int file, int& serial) {
    std::string out;
    while (out.size() < bytes) {
        ++serial;
        ordered_json line = {
            {"type", "assistant"},
            {"timestamp", "2026-01-15T10:00:00.000Z"},
            {"requestId", "req_bench_" + std::to_string(file) + "_" + std::to_string(serial)},
            {"sessionId", "bench-session-" + std::to_string(file)},
            {"cwd", "/work/bench"},
            {"message",
             {{"id", "msg_bench_" + std::to_string(file) + "_" + std::to_string(serial)},
              {"model", "claude-sonnet-4-5-20250929"},
              {"usage",
               {{"input_tokens", 12},
                {"output_tokens", 345},
                {"cache_read_input_tokens", 23456},
                {"cache_creation_input_tokens", 789}}}}}};
        out += line.dump();
        out += '\n';
    }
    return out;
}

ordered_json step(const char* name, double seconds, const vantery::ScanCache::Refresh* r) {
    ordered_json j = {{"step", name}, {"seconds", seconds}};
    if (r) {
        j["records"] = r->records->size();
        j["filesNew"] = r->stats.filesNew;
        j["filesGrown"] = r->stats.filesGrown;
        j["filesUnchanged"] = r->stats.filesUnchanged;
        j["bytesRead"] = r->stats.bytesRead;
    }
    return j;
}

} // namespace

int refresh(Args& args) {
    const std::string home = args.require("home");
    const std::string cachePath = args.require("cache");
    args.finish();
    const auto homes = vantery::SourceHome::defaults(home);
    std::filesystem::remove(cachePath);
    ordered_json steps = ordered_json::array();

    // The full scan first: it also warms the page cache for the refreshes.
    double t0 = bench::now();
    auto full = vantery::Scanner::scanKeyed(homes, true);
    const double fullScanSeconds = bench::now() - t0;
    steps.push_back({{"step", "parallel full scan"},
                     {"seconds", fullScanSeconds},
                     {"records", full.records.size()}});
    full = {};

    vantery::ScanCache first(cachePath);
    t0 = bench::now();
    auto r1 = first.refresh(homes);
    const double firstSeconds = bench::now() - t0;
    steps.push_back(step("first refresh", firstSeconds, &r1));

    t0 = bench::now();
    first.save();
    steps.push_back(step("save", bench::now() - t0, nullptr));
    const auto fileBytes = std::filesystem::file_size(cachePath);

    // The codec alone, without the file system.
    {
        auto table = first.snapshot();
        std::size_t entries = 0;
        for (const auto& [path, state] : table)
            entries += state.records->size();
        t0 = bench::now();
        std::string bytes = vantery::encodeCacheFile(table);
        const double encodeSeconds = bench::now() - t0;
        t0 = bench::now();
        auto decoded = vantery::decodeCacheFile(bytes);
        const double decodeSeconds = bench::now() - t0;
        if (!decoded) throw std::runtime_error("the encoded cache did not decode");
        steps.push_back(
            {{"step", "encode in memory"}, {"seconds", encodeSeconds}, {"recordEntries", entries}});
        steps.push_back({{"step", "decode in memory"}, {"seconds", decodeSeconds}});
    }

    vantery::ScanCache loaded(cachePath);
    t0 = bench::now();
    if (!loaded.load()) throw std::runtime_error("the saved cache did not load");
    steps.push_back(step("load", bench::now() - t0, nullptr));

    t0 = bench::now();
    auto r2 = loaded.refresh(homes);
    steps.push_back(step("no-change refresh", bench::now() - t0, &r2));

    auto files = vantery::Scanner::fileList(homes, nullptr);
    if (!files.empty()) {
        int serial = 0;
        const std::size_t chosen = std::min<std::size_t>(10, files.size());
        t0 = bench::now();
        for (std::size_t k = 0; k < chosen; ++k) {
            const auto& f = files[k * files.size() / chosen];
            std::ofstream(f.path, std::ios::app | std::ios::binary)
                << newLines((1u << 20) / chosen, static_cast<int>(k), serial);
        }
        steps.push_back(step("append 1 MB to 10 files", bench::now() - t0, nullptr));
    }
    t0 = bench::now();
    auto r3 = loaded.refresh(homes);
    steps.push_back(step("refresh after append", bench::now() - t0, &r3));

    const auto records = r1.records->size();
    ordered_json out = {
        {"home", home},
        {"files", r1.stats.filesTotal},
        {"records", records},
        {"cacheFileBytes", fileBytes},
        {"bytesPerRecord",
         records ? static_cast<double>(fileBytes) / static_cast<double>(records) : 0.0},
        {"firstRefreshOverFullScan", fullScanSeconds > 0 ? firstSeconds / fullScanSeconds : 0.0},
        {"steps", steps},
    };
    std::printf("%s\n", out.dump(2).c_str());
    return 0;
}

} // namespace bench
