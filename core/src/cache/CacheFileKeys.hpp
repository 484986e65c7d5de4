#pragma once
// Key texts read back for writing a cache file, checked against what the blocks recall.
#include <cstddef>
#include <string_view>

#include "vantery/model/RequestTable.hpp"

namespace vantery {

/// Key i of `block` as it was when the block was built; throws LostKeyTexts when its
/// source no longer gives it back (its print does not match what comes back).
std::string_view keyAsItWas(FileBlock::KeyReader& reader, const FileBlock& block, std::size_t i);

} // namespace vantery
