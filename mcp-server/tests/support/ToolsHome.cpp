#include "ToolsHome.hpp"

#include <gtest/gtest.h>

#include "Golden.hpp"
#include "Transcripts.hpp"

namespace vantery::mcp::testing {
namespace {

struct Req {
    std::string id;
    std::string when; ///< UTC
    std::string session;
    std::string cwd; ///< under the home
    std::string agentId;
    std::string model;
    std::int64_t input, output, cacheRead, write5m, write1h;
    bool splitMissing; ///< cache_creation_input_tokens without its split

    Req(std::string id, std::string when, std::string session, std::string cwd, std::string agentId,
        std::string model, std::int64_t input, std::int64_t output, std::int64_t cacheRead = 0,
        std::int64_t write5m = 0, std::int64_t write1h = 0, bool splitMissing = false)
        : id(std::move(id)), when(std::move(when)), session(std::move(session)),
          cwd(std::move(cwd)), agentId(std::move(agentId)), model(std::move(model)), input(input),
          output(output), cacheRead(cacheRead), write5m(write5m), write1h(write1h),
          splitMissing(splitMissing) {}
};

std::string line(const std::string& home, const Req& r) {
    Line l;
    l.timestamp = r.when;
    l.messageId = "msg_" + r.id;
    l.requestId = "req_" + r.id;
    l.sessionId = r.session;
    l.cwd = home + "/" + r.cwd;
    l.agentId = r.agentId;
    l.model = r.model;
    l.input = r.input;
    l.output = r.output;
    l.cacheRead = r.cacheRead;
    l.cacheCreation = r.write5m + r.write1h;
    if (!r.splitMissing) l.cacheCreationSplit = {{r.write5m, r.write1h}};
    return usageLine(l);
}

const char* reviewer = "areviewer-0123456789abcdef";
const char* planner = "aplanner-fedcba9876543210";
const char* anonymous = "0f1e2d3c4b5a6978";

} // namespace

ToolsHome::ToolsHome(bool empty) {
    *fixture.wall = toolsNow;
    const auto& home = fixture.home;
    const std::string h = home.path();
    if (!empty) {
        home.mkdir("code/shop/.git");
        home.mkdir("code/shop/api");
        home.mkdir("code/shop/.claude/worktrees/feat-x");
        home.mkdir("code/shop-admin/.git");
        home.mkdir("code/blog/.git");
        home.mkdir("scratch/notes");

        // Today, 2025-03-12 (EDT, UTC-4).
        home.transcript(
            "-code-shop/sess-alpha.jsonl",
            line(h, {"t1", "2025-03-12T17:05:00.000Z", "sess-alpha-0001", "code/shop/api", "",
                     "claude-sonnet-4-5", 1200, 3400, 250000, 40000, 0}) +
                line(h, {"t2", "2025-03-12T19:20:00.000Z", "sess-alpha-0001", "code/shop/api", "",
                         "claude-sonnet-4-5", 800, 5200, 310000, 12000, 0}) +
                line(h, {"t3", "2025-03-12T19:25:00.000Z", "sess-alpha-0001", "code/shop/api",
                         reviewer, "claude-opus-4-1", 3000, 18000, 120000, 0, 30000}));
        home.transcript("-code-shop/sess-gamma.jsonl",
                        line(h, {"t4", "2025-03-12T18:10:00.000Z", "sess-gamma-0003",
                                 "code/shop/.claude/worktrees/feat-x", anonymous,
                                 "claude-haiku-4-5", 5000, 2000, 80000, 9000, 0, true}));
        home.transcript("-scratch-notes/sess-delta.jsonl",
                        line(h, {"t5", "2025-03-12T15:00:00.000Z", "sess-delta-0004",
                                 "scratch/notes", "", "mystery-model-x", 4000, 1000}),
                        ".claude-work");

        // Yesterday, 2025-03-11: two requests before 15:40, one after.
        home.transcript(
            "-code-blog/sess-beta.jsonl",
            line(h, {"y1", "2025-03-11T13:30:00.000Z", "sess-beta-0002", "code/blog", "",
                     "claude-sonnet-4-5", 2000, 6000, 150000, 20000, 0}) +
                line(h, {"y2", "2025-03-11T14:15:00.000Z", "sess-beta-0002", "code/blog", planner,
                         "claude-sonnet-4-5", 1500, 9000, 60000}) +
                line(h, {"y3", "2025-03-11T21:45:00.000Z", "sess-beta-0002", "code/blog", "",
                         "claude-opus-4-1", 500, 4000, 90000, 15000, 0}),
            ".claude-work");

        // Earlier days: the 10th, the 9th (clocks went forward at 02:00), the
        // evening of the 8th, and the 5th with an unpriced request.
        home.transcript("-code-shop-admin/sess-epsilon.jsonl",
                        line(h, {"e1", "2025-03-10T20:00:00.000Z", "sess-epsilon-05",
                                 "code/shop-admin", "", "claude-sonnet-4-5", 1000, 2500, 40000}));
        home.transcript("-code-blog/sess-zeta.jsonl",
                        line(h, {"e2", "2025-03-09T07:30:00.000Z", "sess-zeta-0006", "code/blog",
                                 reviewer, "claude-haiku-4-5", 2200, 800}) +
                            line(h, {"e3", "2025-03-09T04:50:00.000Z", "sess-zeta-0006",
                                     "code/blog", "", "claude-sonnet-4-5", 900, 1200, 20000}),
                        ".claude-work");
        home.transcript("-code-shop/sess-eta.jsonl",
                        line(h, {"e4", "2025-03-05T15:00:00.000Z", "sess-eta-00007", "code/shop",
                                 "", "mystery-model-x", 700, 300}) +
                            line(h, {"e5", "2025-03-05T15:05:00.000Z", "sess-eta-00007",
                                     "code/shop", "", "claude-sonnet-4-5", 3000, 4000}));

        // Team rosters: the reviewer's names a type and a model, the planner's only a type.
        home.write(".claude/teams/session-sess-alp/config.json",
                   R"({"members":[{"agentId":"reviewer@session-sess-alp",)"
                   R"("agentType":"code-reviewer","model":"claude-opus-4-1"}]})");
        home.write(".claude-work/teams/session-sess-bet/config.json",
                   R"({"members":[{"agentId":"planner@sess-bet","agentType":"planner"}]})");
    }
    data = fixture.make();
    server = std::make_unique<MCPServer>(data);
}

MCPServer::ToolAnswer ToolsHome::call(const std::string& tool, const std::string& arguments) {
    return server->callTool(tool, Json::parse(arguments));
}

std::string ToolsHome::answer(const std::string& tool, const std::string& arguments) {
    return answerText(call(tool, arguments));
}

std::string ToolsHome::refusal(const std::string& tool, const std::string& arguments) {
    return answerText(call(tool, arguments), true);
}

void ToolsHome::expectGolden(const std::string& tool, const std::string& arguments,
                             const std::string& golden) {
    EXPECT_TRUE(vantery::testing::matchesGolden(answer(tool, arguments), toolGolden(golden)))
        << tool << " " << arguments;
}

} // namespace vantery::mcp::testing
