// `gen`: writes a fake user home whose transcripts look like real ones: streaming
// repeats of one request, cross-file copies, sub-agents, several homes and models,
// malformed lines and a few very long lines. Deterministic for a seed and --now.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "BenchUtil.hpp"
#include "GenRandom.hpp"

namespace bench {
namespace {
namespace fs = std::filesystem;
using namespace draw;

struct Project {
    std::string home;                     // ".claude", ".claude-work", ...
    std::string cwd;                      // working directory of its sessions
    std::string folder;                   // the projects folder name Claude derives from the cwd
    std::vector<std::string> recentUsage; // usage lines to copy into a resumed session
};

std::string folderFor(const std::string& cwd) {
    std::string f = cwd;
    for (auto& c : f)
        if (c == '/' || c == '.') c = '-';
    return f;
}

struct Model {
    const char* id;
    int weight;
};

const std::vector<Model> models = {
    {"claude-opus-4-6", 30},
    {"claude-opus-4-5-20251101", 22},
    {"claude-sonnet-4-5-20250929", 22},
    {"claude-haiku-4-5-20251001", 12},
    {"claude-sonnet-5", 6},
    {"Claude-Opus-4-1[1M]", 3},
    {"gpt-oss-120b", 5}, // a model the price table does not know
};

const char* pickModel(Rng& rng) {
    int total = 0;
    for (const auto& m : models)
        total += m.weight;
    auto r = static_cast<int>(rng.below(static_cast<std::uint64_t>(total)));
    for (const auto& m : models) {
        if (r < m.weight) return m.id;
        r -= m.weight;
    }
    return models.front().id;
}

struct SessionContext {
    std::string sessionId;
    std::string cwd;
    std::string agentId; // empty for the main session
    const char* model;
    std::int64_t clockMs;
    std::int64_t nowMs;
    std::string lastUuid;
};

class Writer {
  public:
    Writer(Rng& rng, const std::string& pool) : rng_(rng), pool_(pool) {}

    std::string text(std::size_t n) {
        n = std::min(n, pool_.size() - 1);
        return pool_.substr(rng_.below(pool_.size() - n), n);
    }

    // The fields every line carries, up to and including the "type".
    void head(std::string& out, SessionContext& s, const char* type) {
        std::string id = uuid(rng_);
        out += "{\"parentUuid\":";
        out += s.lastUuid.empty() ? "null" : "\"" + s.lastUuid + "\"";
        out += ",\"isSidechain\":";
        out += s.agentId.empty() ? "false" : "true";
        out += ",\"userType\":\"external\",\"cwd\":\"" + s.cwd + "\",\"sessionId\":\"" +
               s.sessionId + "\",\"version\":\"2.1.38\",\"gitBranch\":\"main\"";
        if (!s.agentId.empty()) out += ",\"agentId\":\"" + s.agentId + "\"";
        out += ",\"type\":\"";
        out += type;
        out += "\"";
        s.lastUuid = std::move(id);
    }

    std::string stamp(SessionContext& s) {
        s.clockMs = std::min(s.nowMs, s.clockMs + rng_.range(200, 30'000));
        return isoMillis(s.clockMs);
    }

    void tail(std::string& out, SessionContext& s, bool withTimestamp = true) {
        out += ",\"uuid\":\"" + s.lastUuid + "\"";
        if (withTimestamp) out += ",\"timestamp\":\"" + stamp(s) + "\"";
        out += "}\n";
    }

    void userPrompt(std::string& out, SessionContext& s) {
        head(out, s, "user");
        out += ",\"message\":{\"role\":\"user\",\"content\":\"" +
               text(static_cast<std::size_t>(rng_.range(80, 1500))) + "\"}";
        tail(out, s);
    }

    void toolResult(std::string& out, SessionContext& s) {
        // Mostly a few KB, now and then a whole file of hundreds of KB.
        std::size_t n = rng_.chance(0.004) ? static_cast<std::size_t>(rng_.range(100'000, 600'000))
                                           : static_cast<std::size_t>(rng_.range(300, 6000));
        head(out, s, "user");
        out += ",\"message\":{\"role\":\"user\",\"content\":[{\"tool_use_id\":\"toolu_01" +
               base62(rng_, 22) + "\",\"type\":\"tool_result\",\"content\":\"" + text(n) + "\"}]}";
        tail(out, s);
    }

    void hookProgress(std::string& out, SessionContext& s) {
        head(out, s, "progress");
        out += ",\"data\":{\"type\":\"hook_progress\",\"hookEvent\":\"PostToolUse\",\"hookName\":"
               "\"PostToolUse:Bash\","
               "\"command\":\"" +
               text(40) + "\"},\"parentToolUseID\":\"toolu_01" + base62(rng_, 22) + "\"";
        tail(out, s);
    }

    struct Usage {
        std::int64_t input, output, cacheRead, cacheCreate, share5m, share1h, webSearch, webFetch;
        bool split;
    };

    Usage usage() {
        Usage u{};
        u.input = rng_.range(1, 60);
        u.cacheRead = rng_.chance(0.9) ? rng_.range(5'000, 160'000) : 0;
        u.cacheCreate = rng_.chance(0.7) ? rng_.range(0, 25'000) : 0;
        u.split = rng_.chance(0.85);
        bool hour = rng_.chance(0.5);
        u.share5m = hour ? 0 : u.cacheCreate;
        u.share1h = hour ? u.cacheCreate : 0;
        u.webSearch = rng_.chance(0.02) ? rng_.range(1, 4) : 0;
        u.webFetch = rng_.chance(0.02) ? rng_.range(1, 3) : 0;
        return u;
    }

    static void usageJson(std::string& out, const Usage& u, std::int64_t output) {
        out += fmt::format("\"usage\":{{\"input_tokens\":{},\"cache_creation_input_tokens\":{},"
                           "\"cache_read_input_tokens\":{},",
                           u.input, u.cacheCreate, u.cacheRead);
        if (u.split)
            out += fmt::format("\"cache_creation\":{{\"ephemeral_5m_input_tokens\":{},"
                               "\"ephemeral_1h_input_tokens\":{}}},",
                               u.share5m, u.share1h);
        out += fmt::format("\"output_tokens\":{}", output);
        if (u.webSearch || u.webFetch)
            out += fmt::format(
                ",\"server_tool_use\":{{\"web_search_requests\":{},\"web_fetch_requests\":{}}}",
                u.webSearch, u.webFetch);
        out += ",\"service_tier\":\"standard\"}";
    }

    // One assistant request written as its streaming lines, the output growing.
    // Returns the lines' text, so a resumed session may copy some of them.
    std::string assistantTurn(SessionContext& s, bool dropRequestId) {
        std::string turn;
        std::string messageId = "msg_01" + base62(rng_, 22);
        std::string requestId = "req_011C" + base62(rng_, 20);
        Usage u = usage();
        int lines = static_cast<int>(rng_.range(1, 4));
        std::int64_t output = rng_.range(5, 60);
        for (int i = 0; i < lines; ++i) {
            if (i == lines - 1) output += rng_.range(0, 2500);
            head(turn, s, "assistant");
            turn += ",\"message\":{\"model\":\"";
            turn += s.model;
            turn += "\",\"id\":\"" + messageId +
                    "\",\"type\":\"message\",\"role\":\"assistant\",\"content\":[";
            if (rng_.chance(0.3))
                turn += "{\"type\":\"thinking\",\"thinking\":\"" +
                        text(static_cast<std::size_t>(rng_.range(100, 1200))) +
                        "\",\"signature\":\"" + base62(rng_, 300) + "\"}";
            else if (rng_.chance(0.5))
                turn += "{\"type\":\"tool_use\",\"id\":\"toolu_01" + base62(rng_, 22) +
                        "\",\"name\":\"Bash\",\"input\":{\"command\":\"" +
                        text(static_cast<std::size_t>(rng_.range(20, 300))) + "\"}}";
            else
                turn += "{\"type\":\"text\",\"text\":\"" +
                        text(static_cast<std::size_t>(rng_.range(20, 1500))) + "\"}";
            turn += "],\"stop_reason\":null,\"stop_sequence\":null,";
            usageJson(turn, u, output);
            turn += "}";
            if (!dropRequestId) turn += ",\"requestId\":\"" + requestId + "\"";
            tail(turn, s);
        }
        return turn;
    }

    // A sub-agent's progress echoed in the parent: a nested copy of its usage that
    // must not count, since the top level has no message.
    void agentProgress(std::string& out, SessionContext& s) {
        head(out, s, "progress");
        out += ",\"data\":{\"type\":\"agent_progress\",\"message\":{\"type\":\"assistant\","
               "\"message\":{\"model\":\"";
        out += s.model;
        out += "\",\"id\":\"msg_01" + base62(rng_, 22) +
               "\",\"content\":[{\"type\":\"text\",\"text\":\"" +
               text(static_cast<std::size_t>(rng_.range(50, 600))) + "\"}],";
        usageJson(out, usage(), rng_.range(5, 500));
        out += "}}}";
        tail(out, s);
    }

    void malformed(std::string& out, SessionContext& s) {
        switch (rng_.below(4)) {
        case 0: { // cut off mid-line by a crash
            std::string turn = assistantTurn(s, false);
            auto firstEnd = turn.find('\n');
            out += turn.substr(0, std::max<std::size_t>(turn.find("\"usage\"") + 20, firstEnd / 2));
            out += "\n";
            break;
        }
        case 1:
            out += assistantTurn(s, true);
            break; // no requestId
        case 2: {  // a synthetic message with zero usage
            head(out, s, "assistant");
            out += ",\"message\":{\"model\":\"<synthetic>\",\"id\":\"" + uuid(rng_) +
                   "\",\"type\":\"message\",\"role\":\"assistant\",\"content\":[{\"type\":\"text\","
                   "\"text\":\"No "
                   "response requested.\"}],\"usage\":{\"input_tokens\":0,\"output_tokens\":0,"
                   "\"cache_creation_input_tokens\":0,\"cache_read_input_tokens\":0}}";
            tail(out, s);
            break;
        }
        default: { // usage without a timestamp
            head(out, s, "assistant");
            out += ",\"message\":{\"model\":\"";
            out += s.model;
            out += "\",\"id\":\"msg_01" + base62(rng_, 22) + "\",\"content\":[],";
            usageJson(out, usage(), 7);
            out += "},\"requestId\":\"req_011C" + base62(rng_, 20) + "\"";
            tail(out, s, false);
        }
        }
    }

  private:
    Rng& rng_;
    const std::string& pool_;
};

void writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path.string());
    bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) throw std::runtime_error("cannot write " + path.string());
}

// Fills one transcript of about `target` bytes.
std::string transcript(Writer& w, Rng& rng, SessionContext& s, std::size_t target,
                       std::vector<std::string>* keepUsage) {
    std::string out;
    out.reserve(target + 700'000);
    while (out.size() < target) {
        auto r = rng.below(1000);
        if (r < 180) {
            w.userPrompt(out, s);
        } else if (r < 600) {
            w.toolResult(out, s);
        } else if (r < 730) {
            w.hookProgress(out, s);
        } else if (r < 750) {
            w.agentProgress(out, s);
        } else if (r < 757) {
            w.malformed(out, s);
        } else {
            std::string turn = w.assistantTurn(s, false);
            if (keepUsage && rng.chance(0.05)) {
                keepUsage->push_back(turn.substr(0, turn.find('\n') + 1));
                if (keepUsage->size() > 6) keepUsage->erase(keepUsage->begin());
            }
            out += turn;
        }
    }
    return out;
}

} // namespace

int gen(Args& args) {
    const fs::path out = args.require("out");
    const std::int64_t mb = args.integer("mb", 8);
    const std::int64_t seed = args.integer("seed", 1);
    const std::int64_t days = args.integer("days", 60);
    const std::int64_t now = args.integer("now", static_cast<std::int64_t>(std::time(nullptr)));
    std::int64_t files = args.integer("files", std::max<std::int64_t>(8, mb));
    args.finish();
    if (mb < 1 || files < 1 || days < 1)
        throw UsageError("--mb, --files and --days must be at least 1");

    const double started = bench::now();
    Rng rng(static_cast<std::uint64_t>(seed));
    const std::string pool = makeTextPool(1 << 20);
    Writer w(rng, pool);
    const std::string user = "/home/dev";

    // Projects across three homes (the fourth home stays absent), some in worktrees.
    std::vector<Project> projects;
    const std::vector<std::string> repos = {"alpha", "beta-service", "gamma.web",
                                            "delta", "epsilon",      "zeta-tools"};
    const std::vector<std::pair<std::string, int>> homes = {
        {".claude", 65}, {".claude-work", 25}, {".claude-outlook", 10}};
    for (const auto& [home, share] : homes) {
        int count = std::max(2, share / 10);
        for (int i = 0; i < count; ++i) {
            std::string cwd = user + "/src/" + repos[rng.below(repos.size())];
            if (rng.chance(0.3))
                cwd += "/.claude/worktrees/" + std::string(rng.chance(0.5) ? "fix-" : "feat-") +
                       hex(rng, 4);
            else if (rng.chance(0.2))
                cwd += "/packages/core";
            for (int k = 0; k < share / count; ++k)
                projects.push_back({home, cwd, folderFor(cwd), {}});
        }
    }

    const std::uint64_t totalBytes = static_cast<std::uint64_t>(mb) << 20;
    const std::uint64_t perSession =
        std::max<std::uint64_t>(4096, totalBytes / static_cast<std::uint64_t>(files));
    const std::int64_t nowMs = now * 1000;
    const std::int64_t spanMs = days * 86'400'000;
    const std::vector<std::string> agentNames = {"planner", "reviewer", "test-runner", "doc-writer",
                                                 "explorer"};
    std::uint64_t written = 0;
    int rosters = 0;
    std::int64_t sessionIndex = 0;

    while (written < totalBytes) {
        // The first sessions visit every home, so each has at least one transcript.
        std::size_t pick = rng.below(projects.size());
        if (sessionIndex < static_cast<std::int64_t>(homes.size())) {
            const auto& wanted = homes[static_cast<std::size_t>(sessionIndex)].first;
            pick = static_cast<std::size_t>(
                std::find_if(projects.begin(), projects.end(),
                             [&](const Project& p) { return p.home == wanted; }) -
                projects.begin());
        }
        Project& project = projects[pick];
        SessionContext s;
        s.sessionId = uuid(rng);
        s.cwd = project.cwd;
        s.model = pickModel(rng);
        s.nowMs = nowMs;
        // The first sessions run today and yesterday, the rest anywhere in the window.
        std::int64_t startMs =
            sessionIndex == 0 ? nowMs - 90 * 60'000
            : sessionIndex == 1
                ? nowMs - 27 * 3'600'000LL
                : nowMs - 600'000 -
                      static_cast<std::int64_t>(rng.below(static_cast<std::uint64_t>(spanMs)));
        s.clockMs = startMs;

        // Sizes vary a lot between sessions, as in real homes.
        std::uint64_t target = perSession / 4 + rng.below(perSession * 3 / 2 + 1);
        target = std::min<std::uint64_t>(target, totalBytes - written + 4096);
        std::string body;
        // A resumed session repeats some requests of an earlier session of the project.
        if (!project.recentUsage.empty() && rng.chance(0.3))
            for (const auto& line : project.recentUsage)
                body += line;
        std::vector<std::string> kept;
        bool subagents = rng.chance(0.35);
        std::uint64_t mainShare = subagents ? target * 7 / 10 : target;
        body += transcript(w, rng, s, mainShare, &kept);
        project.recentUsage = std::move(kept);
        const fs::path folder = out / project.home / "projects" / project.folder;
        writeFile(folder / (s.sessionId + ".jsonl"), body);
        written += body.size();

        if (subagents) {
            int n = static_cast<int>(rng.range(1, 3));
            nlohmann::ordered_json members = nlohmann::ordered_json::array();
            for (int i = 0; i < n; ++i) {
                SessionContext a = s;
                a.clockMs = startMs + static_cast<std::int64_t>(rng.below(600'000));
                a.lastUuid.clear();
                if (rng.chance(0.3)) a.model = "claude-haiku-4-5-20251001";
                std::string file;
                if (rng.chance(0.6)) {
                    const std::string& name = agentNames[rng.below(agentNames.size())];
                    a.agentId = "a" + name + "-" + hex(rng, rng.chance(0.8) ? 16 : 17);
                    file = "agent-" + a.agentId;
                    members.push_back({{"agentId", name + "@session-" + s.sessionId.substr(0, 8)},
                                       {"name", name},
                                       {"agentType", name},
                                       {"model", a.model},
                                       {"prompt", "You are the " + name + "."},
                                       {"cwd", a.cwd}});
                } else {
                    a.agentId = "a" + hex(rng, 7);
                    file = "agent-" + a.agentId;
                }
                std::string sub = transcript(
                    w, rng, a, (target - mainShare) / static_cast<std::uint64_t>(n) + 1, nullptr);
                writeFile(folder / s.sessionId / "subagents" / (file + ".jsonl"), sub);
                written += sub.size();
            }
            if (!members.empty() && rosters < 2) {
                nlohmann::ordered_json roster = {{"name", "team-" + std::to_string(rosters)},
                                                 {"leadSessionId", s.sessionId},
                                                 {"members", members}};
                writeFile(out / project.home / "teams" / ("session-" + s.sessionId.substr(0, 8)) /
                              "config.json",
                          roster.dump(2) + "\n");
                ++rosters;
            }
        }
        ++sessionIndex;
    }

    double seconds = bench::now() - started;
    nlohmann::ordered_json report = {
        {"out", out.string()},
        {"bytes", written},
        {"sessions", sessionIndex},
        {"seconds", seconds},
        {"bytesPerSecond", seconds > 0 ? static_cast<double>(written) / seconds : 0.0}};
    std::printf("%s\n", report.dump(2).c_str());
    return 0;
}

} // namespace bench
