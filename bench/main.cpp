// vantery-bench: corpus generator and benchmarks. One subcommand per source file;
// add a subcommand with one declaration and one table entry below.
#include <cstdio>
#include <cstring>
#include <exception>

#include "BenchUtil.hpp"

namespace bench {
int gen(Args& args);
int scan(Args& args);
int aggregate(Args& args);
int refresh(Args& args);
int mcp(Args& args);
int mcpAsk(Args& args);
int mcpSoak(Args& args);
int verify(Args& args);
} // namespace bench

namespace {

struct Command {
    const char* name;
    int (*run)(bench::Args&);
    const char* flags[4]; ///< options that take no value
    const char* usage;
};

const Command commands[] = {
    {"gen", bench::gen, {}, "gen --out DIR --mb N [--files K] [--seed S] [--days D] [--now EPOCH]"},
    {"scan",
     bench::scan,
     {"serial", "no-timing", "search"},
     "scan --home DIR [--serial] [--threads N] [--cache FILE] [--no-timing] [--search]\n"
     "      the full scan's figures as JSON; --threads caps the worker threads (default: all\n"
     "      cores); --cache loads FILE (when it holds a cache), refreshes it against the\n"
     "      home, prints the cached table's figures and keeps the cache in FILE; --search\n"
     "      adds the time of the line search the scan runs, against memmem and std::search"},
    {"aggregate",
     bench::aggregate,
     {"help"},
     "aggregate (--home DIR | --agents N [--requests M]) [--repeat N] [--help]"},
    {"refresh", bench::refresh, {}, "refresh --home DIR --cache FILE"},
    {"mcp", bench::mcp, {}, "mcp --home DIR --server PATH [--repeat N]"},
    {"mcp-soak",
     bench::mcpSoak,
     {},
     "mcp-soak --home DIR --server PATH [--calls N] [--requests-per-call K] [--pause-ms M]\n"
     "      the server's resident memory over N tool calls (default 500) while one\n"
     "      transcript of its own grows by K requests (default 20) before each, M ms\n"
     "      apart; the server refreshes at most every 15 s, so run it under a sped-up\n"
     "      clock (libfaketime: FAKETIME='+0 x100') for every call to refresh. libfaketime\n"
     "      shifts the file times the server reads too, and every refresh would then read\n"
     "      every transcript again: the server gets NO_FAKE_STAT=1 unless it is set.\n"
     "      Call times are read from the kernel's clock, not the sped-up one; the server\n"
     "      saves its cache after each reply, so leave M above a save's time"},
    {"mcp-ask", bench::mcpAsk, {}, "mcp-ask --home DIR --server PATH --cache FILE < calls"},
    {"verify",
     bench::verify,
     {},
     "verify --home DIR --cache FILE\n"
     "      loads and refreshes the cache in FILE, then times its full verification against\n"
     "      the home; exits 1 when they diverge"},
};

void printUsage() {
    std::fprintf(stderr, "usage: vantery-bench <command> [options]\n");
    for (const auto& c : commands)
        std::fprintf(stderr, "  vantery-bench %s\n", c.usage);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage();
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        printUsage();
        return 0;
    }
    for (const auto& c : commands) {
        if (std::strcmp(argv[1], c.name) != 0) continue;
        for (int i = 2; i < argc; ++i)
            if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
                std::printf("usage: vantery-bench %s\n", c.usage);
                return 0;
            }
        try {
            std::vector<std::string> flags;
            for (const char* f : c.flags)
                if (f) flags.emplace_back(f);
            bench::Args args(argc - 2, argv + 2, flags);
            return c.run(args);
        } catch (const bench::UsageError& e) {
            std::fprintf(stderr, "vantery-bench %s: %s\nusage: vantery-bench %s\n", c.name,
                         e.what(), c.usage);
            return 2;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "vantery-bench %s: %s\n", c.name, e.what());
            return 1;
        }
    }
    std::fprintf(stderr, "unknown command: %s\n", argv[1]);
    printUsage();
    return 2;
}
