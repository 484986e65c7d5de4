#pragma once
// The requests of a reading, unified by their identity.
#include <string>
#include <unordered_map>

#include "vantery/model/UsageRecord.hpp"

namespace vantery {

/// Unified requests keyed by "<message id>:<request id>", or by "<message id>:" for
/// lines without a request id (with that id's ":" and "\" written "\;" and "\\"), so
/// that the two kinds never meet: what Scanner::ingest fills line by line and
/// Scanner::scanKeyed returns, for tests and fuzzers. Readings for the cache and the
/// full scan build FileBlocks instead.
using RequestMap = std::unordered_map<std::string, UsageRecord>;

} // namespace vantery
