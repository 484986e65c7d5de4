// Any bytes given to the cache file reader: never a crash or an out-of-bounds read,
// and whatever it accepts survives a round trip through the writer. The input is tried
// as it is and sealed with its trailer, so that the decoding behind the check is reached.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "vantery/cache/CacheFile.hpp"

namespace {

void roundTrip(std::string_view bytes) {
    auto table = vantery::decodeCacheFile(bytes);
    if (!table) return;
    auto again =
        vantery::decodeCacheFile(vantery::encodeCacheFile(table->files, *table->dictionary));
    if (!again || again->files.size() != table->files.size()) std::abort();
    for (const auto& [path, state] : table->files) {
        auto it = again->files.find(path);
        if (it == again->files.end() || it->second.block->size() != state.block->size() ||
            it->second.consumed != state.consumed)
            std::abort();
        for (std::size_t i = 0; i < state.block->size(); ++i)
            if (it->second.block->keyText(i) != state.block->keyText(i) ||
                again->dictionary->counts(it->second.block->row(i)) !=
                    table->dictionary->counts(state.block->row(i)))
                std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    roundTrip(bytes);
    std::string sealed(bytes);
    sealed += vantery::cacheFileTrailer(bytes);
    roundTrip(sealed);
    return 0;
}
