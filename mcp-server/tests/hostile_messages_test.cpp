#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "ServerFixture.hpp"
#include "vantery/mcp/Protocol.hpp"

using namespace vantery::mcp;
using namespace vantery::mcp::testing;

namespace {

struct Server {
    ServerFixture fixture;
    MCPServer server{fixture.make()};
    std::vector<std::string> logged;

    std::optional<std::string> answer(const std::string& line) {
        return Protocol::answerLine(line, server,
                                    [this](std::string_view m) { logged.emplace_back(m); });
    }
};

} // namespace

// A client waits for every id it sent: whenever the top-level id and method can be
// read, that id is answered, exactly as it was written.
TEST(HostileMessages, EveryReadableIdIsAnswered) {
    Server s;
    const std::string deep = std::string(300, '[') + std::string(300, ']');
    auto tooDeep =
        s.answer(R"({"jsonrpc":"2.0","id":1,"method":"ping","params":{"a":)" + deep + "}}");
    ASSERT_TRUE(tooDeep);
    EXPECT_EQ(tooDeep->rfind(R"({"jsonrpc":"2.0","id":1,"error":{"code":-32600,)", 0), 0u)
        << *tooDeep;

    // Ids no JSON value here can hold are sent back as they came, with a real answer.
    EXPECT_EQ(s.answer(R"({"jsonrpc":"2.0","id":1e400,"method":"ping"})"),
              R"({"jsonrpc":"2.0","id":1e400,"result":{}})");
    EXPECT_EQ(s.answer(R"({"jsonrpc":"2.0","id":"\ud800","method":"ping"})"),
              R"({"jsonrpc":"2.0","id":"\ud800","result":{}})");

    // Ids that parse are sent back as written too: thirty digits are not rounded to a
    // double, and a number's or a string's spelling is kept.
    EXPECT_EQ(s.answer(R"({"jsonrpc":"2.0","id":123456789012345678901234567890,"method":"ping"})"),
              R"({"jsonrpc":"2.0","id":123456789012345678901234567890,"result":{}})");
    EXPECT_EQ(
        s.answer(R"({"jsonrpc":"2.0","id":1.50E+2,"method":"nope"})"),
        R"({"jsonrpc":"2.0","id":1.50E+2,"error":{"code":-32601,"message":"Unknown method: nope"}})");
    EXPECT_EQ(s.answer(R"({"id":-0,"jsonrpc":"2.0","method":"ping", "id" : "caf\u00e9\/1" })"),
              R"({"jsonrpc":"2.0","id":"caf\u00e9\/1","result":{}})")
        << "the last of repeated ids counts, as when the line is parsed";

    // A line cut short after its id and method: a parse error for that id.
    EXPECT_EQ(s.answer(R"({"jsonrpc":"2.0","id":"x","method":"tools/call","params":{"name":)"),
              R"({"jsonrpc":"2.0","id":"x","error":{"code":-32700,"message":"Parse error"}})");
    EXPECT_TRUE(s.logged.empty());

    // Nothing to answer: a notification, an id that is no JSON-RPC id, no method.
    EXPECT_FALSE(s.answer(R"({"id":2,"method":"notifications/x","params":{)"));
    EXPECT_FALSE(s.answer(R"({"id":[3],"method":"ping","params":{)"));
    EXPECT_FALSE(s.answer(R"({"id":4,"params":{)"));
    EXPECT_EQ(s.logged.size(), 2u);
}

// Reading a message costs time in proportion to its size: 150,000 argument keys
// once took 22 seconds. The bound is far above the time taken, even unoptimised.
TEST(HostileMessages, ManyKeysAreReadInLinearTime) {
    Server s;
    std::string line =
        R"({"jsonrpc":"2.0","id":9,"method":"tools/call","params":{"name":"vant_cost","arguments":{"period":"today")";
    for (int i = 0; i < 150'000; ++i)
        line += ",\"k" + std::to_string(i) + "\":" + std::to_string(i);
    line += "}}}";
    const auto start = std::chrono::steady_clock::now();
    auto reply = s.answer(line);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->rfind(R"({"jsonrpc":"2.0","id":9,"result":{"content":)", 0), 0u);
    EXPECT_NE(reply->find(R"("isError":false)"), std::string::npos) << *reply;
    EXPECT_LT(seconds, 10.0);
    std::printf("150,000 keys answered in %.3f s\n", seconds);
}
