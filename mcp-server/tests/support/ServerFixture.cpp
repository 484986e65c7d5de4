#include "ServerFixture.hpp"

#include <gtest/gtest.h>

#include "vantery/mcp/Protocol.hpp"

namespace vantery::mcp::testing {

ServerFixture::ServerFixture() {
    variables["VANTERY_HOME"] = home.path();
    variables["VANTERY_CACHE_PATH"] = home / "cache/scan-cache.bin";
}

DataSource::Environment ServerFixture::environment() const {
    DataSource::Environment env;
    auto vars = variables;
    env.variable = [vars](const char* name) -> std::optional<std::string> {
        auto it = vars.find(name);
        if (it == vars.end()) return std::nullopt;
        return it->second;
    };
    env.userHome = home.path();
    env.wallClock = [w = wall] { return *w; };
    env.monotonicClock = [m = monotonic] { return *m; };
    env.calendar = *Calendar::named("America/New_York");
    return env;
}

std::shared_ptr<DataSource> ServerFixture::make() const {
    return std::make_shared<DataSource>(environment());
}

void ServerFixture::transcript(const std::string& rel, const std::string& lines) const {
    home.append(".claude/projects/" + rel, lines);
}

std::string ServerFixture::answer(const std::string& tool, const Json& arguments) const {
    MCPServer server(make());
    return answerText(server.callTool(tool, arguments));
}

std::string answerText(const MCPServer::ToolAnswer& answer, bool refused) {
    EXPECT_EQ(answer.isError, refused) << answer.text;
    return answer.text;
}

std::optional<std::string> LineServer::answer(std::string_view line) {
    return Protocol::answerLine(line, server,
                                [this](std::string_view m) { logged.emplace_back(m); });
}

} // namespace vantery::mcp::testing
