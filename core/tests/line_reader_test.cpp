#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TempDir.hpp"
#include "ingest/LineReader.hpp"

using namespace vantery;
using vantery::testing::TempDir;

namespace {

struct Read {
    std::vector<std::string> lines;
    std::uint64_t end = 0;
};

Read readAll(const std::string& path, std::uint64_t from = 0,
             std::optional<std::uint64_t> upTo = std::nullopt) {
    Read r;
    r.end = LineReader::forEachLine(path, from, upTo,
                                    [&](std::string_view l) { r.lines.emplace_back(l); });
    return r;
}

} // namespace

TEST(LineReader, PartialLastLineIsHeldBackUntilComplete) {
    TempDir dir;
    auto path = dir.write("t.jsonl", "one\r\ntwo\nthr");
    auto r = readAll(path);
    EXPECT_EQ(r.lines, (std::vector<std::string>{"one\r", "two"}));
    EXPECT_EQ(r.end, 9u);
    dir.append("t.jsonl", "ee\n");
    auto again = readAll(path, r.end);
    EXPECT_EQ(again.lines, (std::vector<std::string>{"three"}));
    EXPECT_EQ(again.end, 15u);
}

TEST(LineReader, EmptyLinesAndEmptyFile) {
    TempDir dir;
    EXPECT_EQ(readAll(dir.write("e.jsonl", "")).end, 0u);
    auto r = readAll(dir.write("n.jsonl", "\n\nx\n"));
    EXPECT_EQ(r.lines, (std::vector<std::string>{"", "", "x"}));
    EXPECT_EQ(r.end, 4u);
}

TEST(LineReader, LimitsStopBeforeTheLimit) {
    TempDir dir;
    std::string content;
    for (int i = 0; i < 20; ++i)
        content += "line-" + std::to_string(i + 10) + "\n"; // 8 bytes each
    auto path = dir.write("l.jsonl", content);
    auto none = readAll(path, 100, 100);
    EXPECT_TRUE(none.lines.empty());
    EXPECT_EQ(none.end, 100u);
    // A limit inside the third line: two lines, the offset is that line's start.
    auto two = readAll(path, 0, 20);
    EXPECT_EQ(two.lines.size(), 2u);
    EXPECT_EQ(two.end, 16u);
    // A limit right after a newline delivers that line.
    EXPECT_EQ(readAll(path, 0, 24).lines.size(), 3u);
    auto mid = readAll(path, 16, 40);
    EXPECT_EQ(mid.lines.front(), "line-12");
    EXPECT_EQ(mid.end, 40u);
    EXPECT_EQ(readAll(path, 160).end, 160u);
}

TEST(LineReader, LinesAcrossBlockBoundariesAndHugeLines) {
    TempDir dir;
    const std::size_t block = LineReader::blockSize;
    std::string first(block - 3, 'a'); // its newline falls just before the boundary
    std::string split(10, 'b');        // straddles the 1 MiB boundary
    std::string huge(5 * block, 'c');  // 5 MiB
    std::string content = first + "\n" + split + "\n" + huge + "\n" + "tail\n";
    ASSERT_LT(first.size() + 1, block);
    ASSERT_GT(first.size() + 1 + split.size() + 1, block);
    auto path = dir.write("b.jsonl", content);
    auto r = readAll(path);
    ASSERT_EQ(r.lines.size(), 4u);
    EXPECT_EQ(r.lines[0], first);
    EXPECT_EQ(r.lines[1], split);
    EXPECT_EQ(r.lines[2].size(), huge.size());
    EXPECT_EQ(r.lines[2], huge);
    EXPECT_EQ(r.lines[3], "tail");
    EXPECT_EQ(r.end, content.size());

    // With a limit in the middle of the huge line, reading stops before it.
    auto limited = readAll(path, 0, block + 3 * block);
    EXPECT_EQ(limited.lines.size(), 2u);
    EXPECT_EQ(limited.end, first.size() + split.size() + 2);
}

TEST(LineReader, ErrorsCarryTheDeliveredOffset) {
    TempDir dir;
    try {
        readAll(dir / "missing.jsonl", 7);
        FAIL() << "expected a ReadError";
    } catch (const LineReader::ReadError& e) {
        EXPECT_EQ(e.path, dir / "missing.jsonl");
        EXPECT_EQ(e.deliveredUpTo, 7u);
    }
    // A folder opens but cannot be read.
    dir.mkdir("folder.jsonl");
    EXPECT_THROW(readAll(dir / "folder.jsonl"), LineReader::ReadError);
}

TEST(LineReader, BodyExceptionsStopTheReading) {
    TempDir dir;
    auto path = dir.write("x.jsonl", "a\nb\nc\n");
    int calls = 0;
    EXPECT_THROW(LineReader::forEachLine(path, 0, std::nullopt,
                                         [&](std::string_view) {
                                             if (++calls == 2) throw std::logic_error("stop");
                                         }),
                 std::logic_error);
    EXPECT_EQ(calls, 2);
}
