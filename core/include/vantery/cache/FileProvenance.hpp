#pragma once
// What the scan cache holds for one transcript file, as the exporter and the server
// list it; small, so that the exporter need not know the cache.
#include <cstdint>
#include <memory>
#include <string>

#include "vantery/model/RequestTable.hpp"

namespace vantery {

/// The requests of one cached file, for provenance listings (ScanCache::FileProvenance).
struct FileProvenance {
    std::string path;
    std::int64_t usageLines = 0;
    std::shared_ptr<const FileBlock> block;              ///< never null
    std::shared_ptr<const RequestDictionary> dictionary; ///< what the block's ids refer to
};

} // namespace vantery
