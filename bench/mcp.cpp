// `mcp`: times every tool of the real VanteryMCP over a home, through its pipes,
// on a warm cache. `mcp-soak`: the server's resident memory call after call while a
// transcript grows, as in a long Claude Code session. `mcp-ask`: asks a running server
// for tool answers and prints their texts as a person reads them (one call per line of
// standard input: the tool name, then optionally its JSON arguments).
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#ifdef __linux__
#include <sys/syscall.h>
#endif
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "BenchUtil.hpp"

namespace bench {
namespace {
namespace fs = std::filesystem;
using nlohmann::json;
using nlohmann::ordered_json;

/// One VanteryMCP process with its standard input and output as pipes; its
/// standard error goes to a file so that a failure can be shown.
class ServerProcess {
  public:
    ServerProcess(const std::string& program, const std::string& home, const std::string& cache,
                  const std::string& errLog) {
        std::signal(SIGPIPE, SIG_IGN); // a server that died shows as a failed write
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0)
            throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            int err = ::open(errLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (err >= 0) ::dup2(err, 2);
            for (int fd : {in[0], in[1], out[0], out[1]})
                ::close(fd);
            // Under libfaketime, real file times: shifted ones tell every refresh that
            // every transcript changed.
            if (std::getenv("FAKETIME")) ::setenv("NO_FAKE_STAT", "1", 0);
            ::setenv("VANTERY_HOME", home.c_str(), 1);
            ::setenv("VANTERY_CACHE_PATH", cache.c_str(), 1);
            ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            std::fprintf(stderr, "cannot start %s: %s\n", program.c_str(), std::strerror(errno));
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        toServer_ = in[1];
        fromServer_ = out[0];
    }

    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    ~ServerProcess() { finish(); }

    pid_t pid() const noexcept { return pid_; }

    /// Closes the server's input and waits for it; its exit status.
    int finish() {
        if (pid_ <= 0) return status_;
        if (toServer_ >= 0) ::close(toServer_);
        toServer_ = -1;
        int st = 0;
        while (::waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
        }
        ::close(fromServer_);
        pid_ = -1;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return status_;
    }

    void send(const json& message) {
        std::string line = message.dump() + "\n";
        for (std::size_t done = 0; done < line.size();) {
            ssize_t n = ::write(toServer_, line.data() + done, line.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) throw std::runtime_error("the server stopped reading its input");
            done += static_cast<std::size_t>(n);
        }
    }

    /// The reply to request `id` (other lines are skipped).
    json reply(int id) {
        for (;;) {
            json msg = json::parse(readLine(), nullptr, false);
            if (msg.is_object() && msg.contains("id") && msg["id"] == id) return msg;
        }
    }

    /// Sends a tools/call and returns (text, isError).
    std::pair<std::string, bool> call(const std::string& tool, const json& arguments) {
        int id = ++lastId_;
        send({{"jsonrpc", "2.0"},
              {"id", id},
              {"method", "tools/call"},
              {"params", {{"name", tool}, {"arguments", arguments}}}});
        json r = reply(id);
        if (!r.contains("result"))
            throw std::runtime_error("protocol error for " + tool + ": " + r.dump());
        const json& result = r["result"];
        std::string text;
        for (const json& part : result.value("content", json::array()))
            if (part.value("type", "") == "text") text += part.value("text", "");
        return {text, result.value("isError", false)};
    }

    /// A ping, answered once the server has done what follows its last reply.
    void ping() {
        int id = ++lastId_;
        send({{"jsonrpc", "2.0"}, {"id", id}, {"method", "ping"}});
        reply(id);
    }

    void handshake() {
        int id = ++lastId_;
        send({{"jsonrpc", "2.0"},
              {"id", id},
              {"method", "initialize"},
              {"params",
               {{"protocolVersion", "2025-11-25"},
                {"capabilities", json::object()},
                {"clientInfo", {{"name", "vantery-bench"}, {"version", "1"}}}}}});
        json r = reply(id);
        if (!r.contains("result")) throw std::runtime_error("initialize failed: " + r.dump());
        send({{"jsonrpc", "2.0"}, {"method", "notifications/initialized"}});
    }

  private:
    std::string readLine() {
        for (;;) {
            auto nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return line;
            }
            char chunk[65536];
            ssize_t n = ::read(fromServer_, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) throw std::runtime_error("the server closed its output");
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    pid_t pid_ = -1;
    int toServer_ = -1;
    int fromServer_ = -1;
    int status_ = -1;
    int lastId_ = 0;
    std::string buffer_;
};

/// A private folder for the cache file and the server's log, removed at the end.
struct ScratchDir {
    std::string path;
    ScratchDir() {
        std::string templ = (fs::temp_directory_path() / "vantery-mcp-XXXXXX").string();
        if (!::mkdtemp(templ.data())) throw std::runtime_error("cannot create a scratch folder");
        path = templ;
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

// A main-session transcript's name is its session id.
std::string someSessionId(const std::string& home) {
    std::vector<std::string> ids;
    std::error_code ec;
    for (const char* h : {".claude", ".claude-work", ".claude-outlook", ".claude-yahoo"}) {
        fs::path projects = fs::path(home) / h / "projects";
        for (const auto& project : fs::directory_iterator(projects, ec)) {
            std::error_code ec2;
            for (const auto& f : fs::directory_iterator(project.path(), ec2))
                if (f.path().extension() == ".jsonl") ids.push_back(f.path().stem().string());
        }
    }
    std::sort(ids.begin(), ids.end());
    return ids.empty() ? std::string("none") : ids.front();
}

std::string serverLog(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return {};
    std::string s;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        s.append(buf, n);
    std::fclose(f);
    return s;
}

// The server's resident memory now, in MiB (VmRSS of /proc/<pid>/status); 0 if unread.
// Seconds on the kernel's own monotonic clock: a sped-up clock (libfaketime) would
// stretch every call's time by its factor.
double realNow() {
#ifdef __linux__
    timespec ts{};
    if (::syscall(SYS_clock_gettime, CLOCK_MONOTONIC, &ts) == 0)
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
#endif
    return now();
}

double residentMiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024;
    return 0;
}

// `n` requests of the main session at the current time, each as one assistant line
// after a user line of 4 KB, as a working session appends them.
std::string sessionLines(int call, int n) {
    const std::time_t t = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S.000Z", std::gmtime(&t));
    const std::string head = "{\"isSidechain\":false,\"cwd\":\"/home/dev/soak\",\"sessionId\":"
                             "\"5e55a0c0-0000-4000-8000-00000000500a\",\"timestamp\":\"" +
                             std::string(stamp) + "\",";
    std::string out;
    for (int i = 0; i < n; ++i) {
        const std::string id = std::to_string(call) + "x" + std::to_string(i);
        out += head + "\"type\":\"user\",\"uuid\":\"u" + id +
               "\",\"message\":{\"role\":\"user\",\"content\":\"" + std::string(4000, 'r') +
               "\"}}\n";
        out += head + "\"type\":\"assistant\",\"uuid\":\"a" + id + "\",\"requestId\":\"req_soak" +
               id + "\",\"message\":{\"model\":\"claude-sonnet-4-5\",\"id\":\"msg_soak" + id +
               "\",\"role\":\"assistant\",\"content\":[{\"type\":\"text\",\"text\":\"ok\"}],"
               "\"usage\":{\"input_tokens\":12,\"cache_creation_input_tokens\":900,"
               "\"cache_read_input_tokens\":40000,\"output_tokens\":300}}}\n";
    }
    return out;
}

} // namespace

int mcp(Args& args) {
    const std::string home = args.require("home");
    const std::string server = args.require("server");
    const std::int64_t repeat = args.integer("repeat", 15);
    args.finish();
    if (repeat < 1) throw UsageError("--repeat must be at least 1");
    if (!fs::is_directory(home)) throw UsageError("no such home: " + home);

    ScratchDir scratch;
    const std::string log = scratch.path + "/server.log";
    ServerProcess p(server, home, scratch.path + "/scan-cache.bin", log);
    p.handshake();

    // The first call reads every transcript and writes the cache file.
    double t0 = now();
    auto warm = p.call("vant_sources", json::object());
    const double coldSeconds = now() - t0;

    const std::string session = someSessionId(home);
    const std::vector<std::pair<std::string, json>> calls = {
        {"vant_overview", json::object()},        {"vant_cost", {{"period", "all"}, {"by", "day"}}},
        {"vant_top_agents", {{"period", "all"}}}, {"vant_top_projects", {{"period", "all"}}},
        {"vant_by_model", {{"period", "all"}}},   {"vant_session", {{"session_id", session}}},
        {"vant_agent", {{"agent", "main"}}},      {"vant_provenance", {{"period", "all"}}},
        {"vant_sources", json::object()},
    };
    ordered_json tools = ordered_json::object();
    for (const auto& [tool, arguments] : calls) {
        std::vector<double> seconds;
        bool isError = false;
        std::string firstLine;
        for (std::int64_t i = 0; i < repeat; ++i) {
            double start = now();
            auto [text, error] = p.call(tool, arguments);
            seconds.push_back(now() - start);
            isError = isError || error;
            if (i == 0) firstLine = text.substr(0, text.find('\n'));
        }
        std::sort(seconds.begin(), seconds.end());
        const std::size_t n = seconds.size();
        const double median = n % 2 ? seconds[n / 2] : (seconds[n / 2 - 1] + seconds[n / 2]) / 2;
        tools[tool] = {{"arguments", arguments},
                       {"median_s", median},
                       {"max_s", seconds.back()},
                       {"isError", isError},
                       {"first_line", firstLine}};
    }
    const int status = p.finish();

    ordered_json out = {{"home", home},
                        {"server", server},
                        {"repeat", repeat},
                        {"first_call_s", coldSeconds},
                        {"first_call_error", warm.second},
                        {"tools", tools},
                        {"server_exit", status}};
    std::printf("%s\n", out.dump(2).c_str());
    if (status != 0) std::fprintf(stderr, "%s", serverLog(log).c_str());
    return status == 0 ? 0 : 1;
}

int mcpSoak(Args& args) {
    const std::string home = args.require("home");
    const std::string server = args.require("server");
    const std::int64_t calls = args.integer("calls", 500);
    const std::int64_t perCall = args.integer("requests-per-call", 20);
    // A real session's calls come minutes apart, each past the server's freshness
    // window; a pause here, under a sped-up clock, lets every call refresh.
    const std::int64_t pauseMs = args.integer("pause-ms", 0);
    args.finish();
    if (calls < 1) throw UsageError("--calls must be at least 1");
    if (perCall < 0 || pauseMs < 0)
        throw UsageError("--requests-per-call and --pause-ms "
                         "must not be negative");
    if (!fs::is_directory(home)) throw UsageError("no such home: " + home);

    // The home is linked into a scratch folder, file by file, and only a transcript of
    // the soak's own is written: the given home stays as it is.
    ScratchDir scratch;
    const fs::path copy = fs::path(scratch.path) / "home";
    fs::create_directories(copy);
    for (const char* h : {".claude", ".claude-work", ".claude-outlook", ".claude-yahoo"}) {
        if (!fs::is_directory(fs::path(home) / h)) continue;
        std::error_code ec;
        fs::copy(fs::path(home) / h, copy / h,
                 fs::copy_options::recursive | fs::copy_options::create_hard_links, ec);
        if (ec) fs::copy(fs::path(home) / h, copy / h, fs::copy_options::recursive);
    }
    const fs::path project = copy / ".claude" / "projects" / "-home-dev-soak";
    fs::create_directories(project);
    const fs::path transcript = project / "5e55a0c0-0000-4000-8000-00000000500a.jsonl";

    const std::string log = scratch.path + "/server.log";
    ServerProcess p(server, copy.string(), scratch.path + "/scan-cache.bin", log);
    p.handshake();
    const std::vector<std::pair<std::string, json>> tools = {
        {"vant_overview", json::object()},
        {"vant_cost", {{"period", "7d"}, {"by", "day"}}},
        {"vant_top_agents", {{"period", "all"}}},
        {"vant_by_model", {{"period", "all"}}},
        {"vant_top_projects", {{"period", "all"}}},
    };
    std::vector<double> rss;
    std::vector<double> seconds;
    bool anyError = false;
    for (std::int64_t i = 0; i < calls; ++i) {
        {
            std::ofstream grow(transcript, std::ios::app | std::ios::binary);
            grow << sessionLines(static_cast<int>(i), static_cast<int>(perCall));
        }
        if (pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        // Read between calls, once a ping is answered: the server writes its cache
        // after a reply, and memory read before that save ends varies with its point.
        if (i > 0) {
            p.ping();
            rss.push_back(residentMiB(p.pid()));
        }
        const auto& [tool, arguments] = tools[static_cast<std::size_t>(i) % tools.size()];
        const double start = realNow();
        anyError = p.call(tool, arguments).second || anyError;
        seconds.push_back(realNow() - start);
    }
    p.ping();
    rss.push_back(residentMiB(p.pid()));
    const int status = p.finish();

    // Every tenth call's reading, and how far memory moved after the first 50 calls.
    ordered_json every10 = ordered_json::array();
    for (std::size_t i = 9; i < rss.size(); i += 10)
        every10.push_back(std::round(rss[i] * 10) / 10);
    ordered_json out = {{"home", home},          {"server", server},
                        {"calls", calls},        {"requests_per_call", perCall},
                        {"any_error", anyError}, {"rss_mib_every_10_calls", every10}};
    if (rss.size() > 50) {
        const auto [lo, hi] = std::minmax_element(rss.begin() + 50, rss.end());
        out["after_50"] = {{"min_mib", *lo}, {"max_mib", *hi}, {"spread_mib", *hi - *lo}};
    }
    // The first call scans the home; the others each refresh after the growth.
    out["first_call_s"] = seconds.front();
    if (seconds.size() > 1) {
        std::vector<double> later(seconds.begin() + 1, seconds.end());
        std::sort(later.begin(), later.end());
        out["median_later_call_s"] = later[later.size() / 2];
    }
    out["server_exit"] = status;
    std::printf("%s\n", out.dump(2).c_str());
    if (status != 0) std::fprintf(stderr, "%s", serverLog(log).c_str());
    return status == 0 && !anyError ? 0 : 1;
}

int mcpAsk(Args& args) {
    const std::string home = args.require("home");
    const std::string server = args.require("server");
    const std::string cache = args.require("cache");
    args.finish();

    ScratchDir scratch;
    const std::string log = scratch.path + "/server.log";
    ServerProcess p(server, home, cache, log);
    try {
        p.handshake();
        bool first = true;
        for (std::string line; std::getline(std::cin, line);) {
            auto start = line.find_first_not_of(" \t");
            if (start == std::string::npos) continue;
            line.erase(0, start);
            auto space = line.find_first_of(" \t");
            std::string tool = line.substr(0, space);
            json arguments = json::object();
            std::string heading = tool;
            if (space != std::string::npos) {
                arguments = json::parse(line.substr(space), nullptr, false);
                if (!arguments.is_object())
                    throw UsageError("the arguments of " + tool + " are not a JSON object");
                heading += ' ';
                heading += arguments.dump();
            }
            auto [text, isError] = p.call(tool, arguments);
            std::printf("%s== %s%s ==\n%s%s", first ? "" : "\n", heading.c_str(),
                        isError ? " (answered with an error)" : "", text.c_str(),
                        text.empty() || text.back() != '\n' ? "\n" : "");
            std::fflush(stdout);
            first = false;
        }
    } catch (const std::exception&) {
        p.finish();
        std::fprintf(stderr, "%s", serverLog(log).c_str());
        throw;
    }
    const int status = p.finish();
    if (status != 0) std::fprintf(stderr, "%s", serverLog(log).c_str());
    return status == 0 ? 0 : 1;
}

} // namespace bench
