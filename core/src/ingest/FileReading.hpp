#pragma once
// Reading one transcript file into its block of requests: the one path the full scan,
// the refresh and the verification share.
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "vantery/ingest/Scanner.hpp"
#include "vantery/model/RequestTable.hpp"

namespace vantery::detail {

/// What reading one file gave.
struct FileReading {
    std::shared_ptr<const FileBlock> block; ///< never null
    ScanDiagnostics diagnostics;            ///< of the bytes read in this reading only
    std::uint64_t consumed = 0;             ///< offset after the last newline accounted for
    bool failed = false;                    ///< a read error stopped it; what came before counts
};

/// Thrown by readFile when its stop was asked for; deliberately not a std::exception,
/// so that the handlers of a file that cannot be read let it through.
struct Stopped {};

/// Reads `file` from `from` (up to `upTo` when given) into a block whose texts are
/// interned in `dictionary`. With `resume`, the block continues it: the new requests
/// go at its end, a new line of a request it holds updates that row (largest counters,
/// earliest time). Throws only std::bad_alloc (and std::length_error on a block too
/// large), leaving `resume` as it was, and Stopped when `stop` is asked for (checked
/// every 64 KiB of lines, so that a large file never holds a stop up).
FileReading readFile(const TranscriptFile& file, std::uint64_t from,
                     std::optional<std::uint64_t> upTo, const FileBlock* resume,
                     RequestDictionary& dictionary, std::stop_token stop = {});

} // namespace vantery::detail
