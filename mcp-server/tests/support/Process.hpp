#pragma once
// Runs a program with a given standard input and collects what it writes.
#include <map>
#include <string>
#include <vector>

namespace vantery::mcp::testing {

struct ProcessResult {
    std::string out;
    std::string err;
    int exitStatus = -1; ///< the exit code, or -1 when the program did not exit normally
    int signal = 0;      ///< the signal that ended it, 0 when none
};

/// Starts `program` with `env` added to (or replacing entries of) the current
/// environment, feeds it `input`, closes its standard input and waits for it.
/// With `readerGone` the reading end of its standard output is closed at once,
/// as when a client goes away.
ProcessResult runProcess(const std::string& program, const std::string& input,
                         const std::map<std::string, std::string>& env, bool readerGone = false);

/// The lines of a text, without their line feeds (a last line without one included).
std::vector<std::string> lines(const std::string& text);

} // namespace vantery::mcp::testing
