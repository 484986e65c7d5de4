#pragma once
// What the scan cache holds for one transcript file, as the exporter and the server
// list it; small, so that the exporter need not know the cache.
#include <cstdint>
#include <memory>
#include <string>

#include "vantery/ingest/RequestMap.hpp"

namespace vantery {

/// An immutable set of requests of one file, shared between copies of the cache's table.
using RecordSet = std::shared_ptr<const RequestMap>;

/// The requests of one cached file, for provenance listings (ScanCache::FileProvenance).
struct FileProvenance {
    std::string path;
    std::int64_t usageLines = 0;
    RecordSet records; ///< never null
};

} // namespace vantery
