// VanteryMCP: the stdio MCP server. Reads one JSON-RPC message per line on
// standard input and writes one reply per line on standard output.
// --version and --help answer and exit without serving.
#include <cerrno>
#include <csignal>
#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "vantery/base/AllocatorRetention.hpp"
#include "vantery/base/CommandLine.hpp"
#include "vantery/base/Paths.hpp"
#include "vantery/base/Version.hpp"
#include "vantery/cache/CacheLocation.hpp"
#include "vantery/mcp/DataSource.hpp"
#include "vantery/mcp/MCPServer.hpp"
#include "vantery/mcp/Protocol.hpp"
#include "vantery/model/UsageRecord.hpp"

namespace {

// The whole line and its line feed, at once; false when standard output is gone.
bool writeLine(std::string_view text) {
    std::string line(text);
    line += '\n';
    const char* p = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        ssize_t n = ::write(STDOUT_FILENO, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string usage() {
    return "VanteryMCP " + std::string(vantery::version) +
           ": the Vantery MCP server. It answers an MCP client's\n"
           "questions about what your Claude Code usage cost, from the transcripts on this\n"
           "machine, over standard input and output (one JSON-RPC message a line).\n"
           "\n"
           "Usage: VanteryMCP            serve (the command to give an MCP client)\n"
           "       VanteryMCP --help     show this text\n"
           "       VanteryMCP --version  print the version\n"
           "\n"
           "Transcripts are read from the Claude homes in your home folder (or VANTERY_HOME):\n" +
           vantery::cli::homesLine(vantery::SourceHome::defaultNames()) +
           "\n"
           "Environment:\n"
           "  VANTERY_HOME        the folder holding those homes, instead of your home folder\n" +
           vantery::cli::commonUsageTail(
               vantery::cachefile::defaultPath(vantery::paths::processEnvironment()));
}

} // namespace

int main(int argc, char** argv) {
    using namespace vantery::mcp;
    // The server refreshes at every call for as long as its session lasts.
    vantery::boundAllocatorRetention();
    if (auto status = vantery::cli::answerOptions(argc, argv, "VanteryMCP", vantery::version,
                                                  usage(), std::cout, std::cerr))
        return *status;
    // A client that goes away must end the loop through a failed write, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    std::ios::sync_with_stdio(false);

    auto data = std::make_shared<DataSource>();
    MCPServer server(data);

    std::string homes;
    for (const auto& h : data->homes()) {
        if (!homes.empty()) homes += ", ";
        homes += h.name;
    }
    Protocol::logToStderr("started; cache = " + data->cache().cachePath() + "; homes = " + homes);

    if (!Protocol::serve(std::cin, server, Protocol::logToStderr, writeLine)) {
        Protocol::logToStderr("stdout closed; exiting");
        return 0;
    }
    Protocol::logToStderr("stdin closed; exiting");
    return 0;
}
