#pragma once
// Stand-in for a tool whose answer is not written yet: the call fails with a plain
// error text (isError), never a crash.
#include <stdexcept>
#include <string>

namespace vantery::mcp::tools {

[[noreturn]] inline void pending(const std::string& tool) {
    throw std::runtime_error("the tool " + tool + " is not available in this build yet");
}

} // namespace vantery::mcp::tools
