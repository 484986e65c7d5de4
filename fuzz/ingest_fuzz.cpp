// Transcript bytes through the line ingestion, line by line as a scan delivers them:
// the counters must account for every usage line exactly once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/ByteSearch.hpp"
#include "ingest/LineReader.hpp"
#include "vantery/ingest/Scanner.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    vantery::RequestMap records;
    vantery::ScanDiagnostics diag;
    const std::string path = "/fuzz/session-1.jsonl";
    std::int64_t usageLines = 0;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t nl = bytes.find('\n', start);
        if (nl == std::string_view::npos) nl = bytes.size();
        std::string_view line = bytes.substr(start, nl - start);
        if (vantery::containsBytes(line, vantery::Scanner::usageNeedle)) ++usageLines;
        vantery::Scanner::ingest(line, path, ".claude", 0, records, diag);
        start = nl + 1;
    }
    (void)vantery::Timestamp::parse(bytes);
    std::int64_t accounted = diag.totalRejected() + diag.notUsageBearing + diag.skippedZeroUsage;
    if (diag.usageLines != usageLines || accounted > usageLines) std::abort();
    if (static_cast<std::int64_t>(records.size()) > usageLines - accounted) std::abort();
    return 0;
}
