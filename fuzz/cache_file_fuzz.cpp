// Any bytes given to the cache file reader: never a crash or an out-of-bounds read,
// and whatever it accepts survives a round trip through the writer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "vantery/cache/CacheFile.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto table = vantery::decodeCacheFile(bytes);
    if (!table) return 0;
    auto again = vantery::decodeCacheFile(vantery::encodeCacheFile(*table));
    if (!again || again->size() != table->size()) std::abort();
    for (const auto& [path, state] : *table) {
        auto it = again->find(path);
        if (it == again->end() || it->second.records->size() != state.records->size() ||
            it->second.consumed != state.consumed)
            std::abort();
    }
    return 0;
}
