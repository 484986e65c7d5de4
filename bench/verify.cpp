// `verify`: the full verification of a cache file against its home: load, refresh,
// then re-read every cached file and compare; the verdict, its time and the peak memory.
#include <cstdio>

#include <nlohmann/json.hpp>

#include "BenchUtil.hpp"
#include "vantery/cache/ScanCache.hpp"

namespace bench {

int verify(Args& args) {
    const std::string home = args.require("home");
    const std::string cacheFile = args.require("cache");
    args.finish();

    vantery::ScanCache cache(cacheFile);
    const double started = now();
    const bool loaded = cache.load();
    const auto homes = vantery::SourceHome::defaults(home);
    const auto refreshed = cache.refresh(homes);
    const double ready = now();
    const auto verdict = cache.verifyAgainstFullScan(homes);
    const double done = now();

    const nlohmann::ordered_json out = {{"loaded", loaded},
                                        {"requests", refreshed.table->size()},
                                        {"loadAndRefreshSeconds", ready - started},
                                        {"verificationSeconds", done - ready},
                                        {"verdict", verdict.summary()},
                                        {"clean", verdict.isClean()},
                                        {"peakRssBytes", peakRssBytes()}};
    std::printf("%s\n", out.dump(2).c_str());
    return verdict.isClean() ? 0 : 1;
}

} // namespace bench
