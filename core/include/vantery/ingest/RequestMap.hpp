#pragma once
// The requests of a reading, unified by their identity.
#include <string>
#include <unordered_map>

#include "vantery/model/UsageRecord.hpp"

namespace vantery {

/// Unified requests keyed by "<message id>:<request id>".
using RequestMap = std::unordered_map<std::string, UsageRecord>;

} // namespace vantery
