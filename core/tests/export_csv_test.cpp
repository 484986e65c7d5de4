// Breakdown CSVs: golden texts for every axis of a fixed report, the cell escaping,
// the row order, the cost cells, date stamps, file names, and a read-back of every
// CSV with an independent reader.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <locale>
#include <random>

#include "CsvReader.hpp"
#include "ExportSample.hpp"
#include "Golden.hpp"
#include "export/ExportParts.hpp"
#include "vantery/export/Exporter.hpp"
#include "vantery/report/Aggregator.hpp"

using namespace vantery;
using vantery::testing::bucketWith;
using vantery::testing::matchesGolden;
using vantery::testing::parseCsv;

namespace {

// What a text cell should read after parsing: the value with the formula guard, which
// this test states on its own terms.
std::string guarded(std::string_view s) {
    if (s.empty()) return {};
    char c = s[0];
    bool loneCR = c == '\r' && (s.size() == 1 || s[1] != '\n');
    bool guard = c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || loneCR;
    return (guard ? "'" : "") + std::string(s);
}

std::int64_t integerCell(const std::string& s) {
    EXPECT_FALSE(s.empty());
    std::size_t used = 0;
    long long v = std::stoll(s, &used);
    EXPECT_EQ(used, s.size()) << s;
    return v;
}

// The keys of an axis's exported rows, in their order.
std::vector<std::string> rowKeys(const Report& r, Exporter::Axis axis) {
    std::vector<std::string> keys;
    for (const auto& e : detail::ExportParts::rows(r, axis, vantery::testing::sampleCalendar()))
        keys.push_back(e.key);
    return keys;
}

using KeysAndLabels = std::vector<std::pair<std::string, std::string>>;

// The key and the label of each exported row of an axis, in their order.
KeysAndLabels keysAndLabels(const Report& r, Exporter::Axis axis) {
    KeysAndLabels out;
    for (const auto& e : detail::ExportParts::rows(r, axis, vantery::testing::sampleCalendar()))
        out.emplace_back(e.key, e.label);
    return out;
}

} // namespace

TEST(ExportBreakdown, GoldenForEveryAxis) {
    Report report = vantery::testing::sampleReport();
    for (auto axis : Exporter::Axis::allCases()) {
        SCOPED_TRACE(std::string(axis.rawValue()));
        std::string csv = Exporter::breakdownCSV(report, axis, vantery::testing::sampleOptions());
        EXPECT_TRUE(
            matchesGolden(csv, "export/breakdown-" + std::string(axis.columnValue()) + ".csv"));
    }
}

TEST(ExportBreakdown, GoldenWithByteOrderMarkAndRowLimit) {
    Report report = vantery::testing::sampleReport();
    auto options = vantery::testing::sampleOptions();
    options.byteOrderMark = true;
    options.limitPerAxis = 2;
    std::string csv = Exporter::breakdownCSV(report, Exporter::Axis::project, options);
    ASSERT_GE(csv.size(), 3u);
    EXPECT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_TRUE(matchesGolden(csv, "export/breakdown-project-bom-limit2.csv"));

    // The limit keeps the first rows of the full list, in its order.
    auto full = parseCsv(
        Exporter::breakdownCSV(report, Exporter::Axis::project, vantery::testing::sampleOptions()));
    auto limited = parseCsv(csv.substr(3));
    ASSERT_TRUE(full && limited);
    ASSERT_EQ(limited->size(), 3u);
    EXPECT_EQ((*limited)[1], (*full)[1]);
    EXPECT_EQ((*limited)[2], (*full)[2]);
}

TEST(ExportBreakdown, RowLimitsAndEmptyReports) {
    Report report = vantery::testing::sampleReport();
    auto options = vantery::testing::sampleOptions();
    const std::string header = Exporter::breakdownCSV(Report{}, Exporter::Axis::project, options);
    EXPECT_TRUE(matchesGolden(header, "export/breakdown-empty.csv"));

    // An empty report: the header alone on every axis, and no file at all.
    for (auto axis : Exporter::Axis::allCases())
        EXPECT_EQ(Exporter::breakdownCSV(Report{}, axis, options), header);
    EXPECT_TRUE(Exporter::allBreakdownCSVs(Report{}, options).empty());
    options.byteOrderMark = true;
    EXPECT_EQ(Exporter::breakdownCSV(Report{}, Exporter::Axis::day, options),
              "\xEF\xBB\xBF" + header);

    // Limit 0: header only, but every axis with rows still gets its file.
    options.byteOrderMark = false;
    options.limitPerAxis = 0;
    auto all = Exporter::allBreakdownCSVs(report, options);
    ASSERT_EQ(all.size(), 8u);
    for (const auto& f : all)
        EXPECT_EQ(f.csv, header);
    options.limitPerAxis = -4; // not a valid limit; taken as 0 rather than as "all"
    EXPECT_EQ(Exporter::breakdownCSV(report, Exporter::Axis::model, options), header);
    options.limitPerAxis = 1000; // more than there are rows: all of them
    EXPECT_EQ(
        Exporter::breakdownCSV(report, Exporter::Axis::model, options),
        Exporter::breakdownCSV(report, Exporter::Axis::model, vantery::testing::sampleOptions()));
}

TEST(ExportBreakdown, AllAxesKeepTheirOrderAndSkipEmptyOnes) {
    Report report = vantery::testing::sampleReport();
    auto all = Exporter::allBreakdownCSVs(report, vantery::testing::sampleOptions());
    ASSERT_EQ(all.size(), 8u);
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].axis, Exporter::Axis::allCases()[i]);
        EXPECT_EQ(all[i].csv,
                  Exporter::breakdownCSV(report, all[i].axis, vantery::testing::sampleOptions()));
    }
    report.byHour.clear(); // as in a report built without hours
    report.byRawCwd.clear();
    all = Exporter::allBreakdownCSVs(report, vantery::testing::sampleOptions());
    std::vector<std::string_view> axes;
    for (const auto& f : all)
        axes.push_back(f.axis.rawValue());
    EXPECT_EQ(axes, (std::vector<std::string_view>{"project", "session", "agent", "model", "day",
                                                   "source"}));
}

// Every CSV reads back, with a reader of its own, to the cells the report holds; every
// axis adds up to the report's total.
TEST(ExportBreakdown, EveryCsvReadsBackAndAddsUpToTheTotal) {
    Report report = vantery::testing::sampleReport();
    auto options = vantery::testing::sampleOptions();
    for (auto axis : Exporter::Axis::allCases()) {
        SCOPED_TRACE(std::string(axis.rawValue()));
        auto parsed = parseCsv(Exporter::breakdownCSV(report, axis, options));
        ASSERT_TRUE(parsed.has_value());
        auto entries = detail::ExportParts::rows(report, axis, options.calendar);
        ASSERT_EQ(parsed->size(), entries.size() + 1);
        std::vector<std::string> header(Exporter::breakdownColumns.begin(),
                                        Exporter::breakdownColumns.end());
        EXPECT_EQ((*parsed)[0], header);

        double cost = 0;
        std::int64_t requests = 0, unpriced = 0, tokens = 0, assumed = 0, fetches = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const auto& cells = (*parsed)[i + 1];
            const auto& e = entries[i];
            ASSERT_EQ(cells.size(), 26u);
            EXPECT_EQ(cells[0], axis.columnValue());
            EXPECT_EQ(cells[1], guarded(e.key));
            EXPECT_EQ(cells[2], guarded(e.label));
            EXPECT_EQ(integerCell(cells[11]), e.bucket.requests);
            EXPECT_EQ(integerCell(cells[12]), e.bucket.input);
            EXPECT_EQ(integerCell(cells[13]), e.bucket.output);
            EXPECT_EQ(integerCell(cells[14]), e.bucket.cacheWrite5m);
            EXPECT_EQ(integerCell(cells[15]), e.bucket.cacheWrite1h);
            EXPECT_EQ(integerCell(cells[16]), e.bucket.cacheRead);
            EXPECT_EQ(integerCell(cells[17]), integerCell(cells[12]) + integerCell(cells[13]) +
                                                  integerCell(cells[14]) + integerCell(cells[15]) +
                                                  integerCell(cells[16]));
            EXPECT_EQ(cells[20], "USD");
            for (const auto& c : cells)
                EXPECT_FALSE(c.empty()) << "no cell is ever left empty";
            if (cells[21] != "unknown") {
                std::size_t used = 0;
                cost += std::stod(cells[21], &used);
                EXPECT_EQ(used, cells[21].size());
                EXPECT_EQ(cells[21].size() - cells[21].find('.'), 7u) << "six decimals";
            } else {
                EXPECT_EQ(e.bucket.cost.priced, 0.0);
            }
            requests += integerCell(cells[11]);
            tokens += integerCell(cells[17]);
            fetches += integerCell(cells[19]);
            unpriced += integerCell(cells[23]);
            assumed += integerCell(cells[25]);
        }
        EXPECT_NEAR(cost, report.total.cost.priced, 5e-7 * static_cast<double>(entries.size()));
        EXPECT_EQ(requests, report.total.requests);
        EXPECT_EQ(tokens, report.total.totalTokens());
        EXPECT_EQ(fetches, report.total.webFetch);
        EXPECT_EQ(unpriced, report.total.cost.unpricedRequests);
        EXPECT_EQ(assumed, report.total.cacheWriteAssumedRequests);
    }
}

// Random labels made of every hazard: each CSV still reads back cell for cell and
// every axis still adds up to the total.
TEST(ExportBreakdown, RandomHazardousLabelsReadBack) {
    const std::vector<std::string> pieces = {
        "=", "+", "-", "@", "\t",     "\r",     "\n",     "\r\n",   ",",          "\"",
        "'", "a", "Z", " ", "\u0301", "\u200d", "\u00e9", "\u65e5", "\U0001F680", ";"};
    std::mt19937 rng(7);
    auto randomText = [&] {
        std::string s;
        for (int n = static_cast<int>(rng() % 6); n >= 0; --n)
            s += pieces[rng() % pieces.size()];
        return s;
    };
    const std::vector<std::string> modelIds = {"claude-sonnet-4-5", "claude-opus-4-1",
                                               "no-such-model", "claude-haiku-4-5"};
    auto cal = vantery::testing::sampleCalendar();
    // Homes are few by nature (a table holds at most 255 names).
    std::vector<std::string> homes(40);
    for (auto& h : homes)
        h = randomText();
    std::vector<UsageRecord> records;
    for (int i = 0; i < 300; ++i) {
        UsageRecord r;
        r.timestamp = cal.instantOf(LocalDay::fromYMD(2026, 3, 1 + static_cast<int>(rng() % 5)),
                                    static_cast<int>(rng() % 24), 0, 0);
        r.model = modelIds[rng() % modelIds.size()];
        r.sessionId = randomText();
        r.rawCwd = randomText();
        r.sourceHome = homes[rng() % homes.size()];
        r.agent = rng() % 2 ? AgentIdentity::anonymous(randomText()) : AgentIdentity::mainSession();
        r.input = static_cast<std::int64_t>(rng() % 100000);
        r.output = static_cast<std::int64_t>(rng() % 10000);
        r.cacheRead = static_cast<std::int64_t>(rng() % 1000000);
        records.push_back(r);
    }
    Aggregator agg(cal, ProjectResolver("/home/ana", false));
    Report report = agg.aggregate(records, std::nullopt, std::nullopt, {}, true);
    auto options = vantery::testing::sampleOptions();
    for (const auto& f : Exporter::allBreakdownCSVs(report, options)) {
        SCOPED_TRACE(std::string(f.axis.rawValue()));
        auto parsed = parseCsv(f.csv);
        ASSERT_TRUE(parsed.has_value());
        auto entries = detail::ExportParts::rows(report, f.axis, options.calendar);
        ASSERT_EQ(parsed->size(), entries.size() + 1);
        double cost = 0;
        std::int64_t requests = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const auto& cells = (*parsed)[i + 1];
            ASSERT_EQ(cells.size(), 26u);
            EXPECT_EQ(cells[1], guarded(entries[i].key));
            EXPECT_EQ(cells[2], guarded(entries[i].label));
            if (cells[21] != "unknown") cost += std::stod(cells[21]);
            requests += integerCell(cells[11]);
        }
        EXPECT_NEAR(cost, report.total.cost.priced, 5e-7 * static_cast<double>(entries.size()));
        EXPECT_EQ(requests, report.total.requests);
    }
}

TEST(ExportCells, EscapingGuardsFormulasThenQuotes) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"", ""},
        {"plain text", "plain text"},
        {"caf\u00e9 \u65e5\u672c", "caf\u00e9 \u65e5\u672c"},
        {"=SUM(A1)", "'=SUM(A1)"},
        {"+1", "'+1"},
        {"@home", "'@home"},
        {"\tx", "'\tx"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        // Guard first, then the doubled quote, then the enclosing quotes.
        {"-1,\"x\"", "\"'-1,\"\"x\"\"\""},
        // A leading CR LF is a line break: quoted, not guarded. A lone CR is guarded.
        {"\r\nrest", "\"\r\nrest\""},
        {"\rrest", "\"'\rrest\""},
        {"\r", "\"'\r\""},
        // The first scalar decides, even when a combining mark or a joiner follows.
        {"=\u0301SUM(A1)", "'=\u0301SUM(A1)"},
        {"=\u200dx", "'=\u200dx"},
        {"-\u0308", "'-\u0308"},
        // Only the first character counts.
        {"a=b", "a=b"},
        {" =1", " =1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(detail::ExportParts::textField(c.in), c.out) << c.in;
        // And a reader gets the guarded value back.
        auto parsed = parseCsv(detail::ExportParts::textField(c.in) + "\n");
        ASSERT_TRUE(parsed.has_value()) << c.in;
        ASSERT_EQ(parsed->size(), 1u);
        EXPECT_EQ((*parsed)[0], std::vector<std::string>{guarded(c.in)});
    }
}

// A NUL ends a text for many readers: it becomes U+FFFD; everything else of the name,
// direction controls included, is kept for machines to read.
TEST(ExportCells, NulIsNeverWritten) {
    using namespace std::string_literals;
    using detail::ExportParts;
    EXPECT_EQ(ExportParts::textField("a\0b\0"s), "a\uFFFDb\uFFFD");
    EXPECT_EQ(ExportParts::textField("\0=1,x"s), "\"\uFFFD=1,x\"") << "no longer a formula";
    EXPECT_EQ(ExportParts::textField("=\0"s), "'=\uFFFD");

    Report report = vantery::testing::sampleReport();
    const std::string evil = "ev\u202Eil\0proj, \"x\""s;
    report.byProject[evil] = bucketWith(1, 9000, 0);
    const std::string csv =
        Exporter::breakdownCSV(report, Exporter::Axis::project, vantery::testing::sampleOptions());
    EXPECT_EQ(csv.find('\0'), std::string::npos);
    auto parsed = parseCsv(csv);
    ASSERT_TRUE(parsed.has_value());
    ASSERT_GE(parsed->size(), 2u);
    EXPECT_EQ((*parsed)[1][1], "ev\u202Eil\uFFFDproj, \"x\"");
    EXPECT_EQ((*parsed)[1][3], (*parsed)[1][1]);
}

TEST(ExportCells, CostCellsNeverWriteUnknownAsZero) {
    auto none = detail::ExportParts::costFields(Bucket{});
    EXPECT_EQ(none.value, "unknown");
    EXPECT_EQ(none.basis, "unknown — no request in range");

    auto unpriced = detail::ExportParts::costFields(bucketWith(3, 0.0, 3, {"m"}));
    EXPECT_EQ(unpriced.value, "unknown");
    EXPECT_EQ(unpriced.basis, "unknown — no known price for any request in this row");

    auto partial = detail::ExportParts::costFields(bucketWith(3, 1.25, 1, {"m"}));
    EXPECT_EQ(partial.value, "1.250000");
    EXPECT_EQ(partial.basis, "lower bound — priced requests only");

    auto zero = detail::ExportParts::costFields(bucketWith(2, 0.0, 0));
    EXPECT_EQ(zero.value, "0.000000");
    EXPECT_EQ(zero.basis, "complete");

    EXPECT_EQ(detail::ExportParts::decimal(1234567.1234565, 6), "1234567.123457");
    EXPECT_EQ(detail::ExportParts::decimal(0.0000004, 6), "0.000000");
    EXPECT_EQ(detail::ExportParts::decimal(2.5, 0), "2");
    EXPECT_EQ(detail::ExportParts::decimal(-0.0015, 3), "-0.002");
    EXPECT_EQ(detail::ExportParts::decimal(0.4567, 3), "0.457");
}

TEST(ExportCells, ModelsCellAndAttribution) {
    Bucket b;
    EXPECT_EQ(detail::ExportParts::models(b), "unknown — no model recorded on this row");
    b.modelCounts = {{"b-model", 3}, {"a-model", 3}, {"c-model", 12}};
    EXPECT_EQ(detail::ExportParts::models(b), "c-model (12); a-model (3); b-model (3)");

    Report r;
    EXPECT_EQ(detail::ExportParts::projectAttribution("p", r),
              "unknown — the report carries no label provenance for this project");
    r.projectProvenance["p"] = {};
    EXPECT_EQ(detail::ExportParts::projectAttribution("p", r),
              "unknown — the report carries no label provenance for this project");
    r.projectProvenance["p"] = {"rawFallback", "missing", "worktreeFolded", "odd"};
    EXPECT_EQ(detail::ExportParts::projectAttribution("p", r),
              "the transcript carried no cwd; unrecognised provenance: odd; no repository "
              "found; the raw cwd was kept; folded out of a .claude/worktrees path");
}

TEST(ExportCells, AgentRowWithoutIdentityIsNotBrokenDown) {
    Report r;
    detail::ExportParts::Entry e{"k", "l", bucketWith(1, 1, 0), std::nullopt};
    auto cells = detail::ExportParts::fields(
        e, Exporter::Axis::agent, r,
        detail::ExportParts::Stamps(vantery::testing::sampleCalendar()));
    ASSERT_EQ(cells.size(), 26u);
    for (int i : {3, 4, 5, 6, 8})
        EXPECT_EQ(cells[static_cast<std::size_t>(i)], "(not broken down)");
    EXPECT_EQ(cells[9], "unknown — the row holds no dated request");
    EXPECT_EQ(cells[10], "unknown — the row holds no dated request");
}

TEST(ExportRows, OrderKeysAndLabels) {
    auto cal = vantery::testing::sampleCalendar();
    Report r;
    r.byProject["b"] = bucketWith(1, 2.0, 0);
    r.byProject["a"] = bucketWith(1, 2.0, 0);
    r.byProject["z"] = bucketWith(1, 5.0, 0);
    r.byProject["unpriced"] = bucketWith(1, 0.0, 1);
    EXPECT_EQ(rowKeys(r, Exporter::Axis::project),
              (std::vector<std::string>{"z", "a", "b", "unpriced"}));

    // Days and hours are chronological whatever their cost.
    r.byDay[LocalDay::fromYMD(2026, 3, 2)] = bucketWith(1, 1.0, 0);
    r.byDay[LocalDay::fromYMD(2025, 12, 31)] = bucketWith(1, 9.0, 0);
    r.byHour[7] = bucketWith(1, 1.0, 0);
    r.byHour[0] = bucketWith(1, 3.0, 0);
    r.byHour[23] = bucketWith(1, 9.0, 0);
    ASSERT_EQ(keysAndLabels(r, Exporter::Axis::day),
              (KeysAndLabels{{"2025-12-31", "2025-12-31"}, {"2026-03-02", "2026-03-02"}}));
    EXPECT_EQ(keysAndLabels(r, Exporter::Axis::hour),
              (KeysAndLabels{{"00", "00:00"}, {"07", "07:00"}, {"23", "23:00"}}));

    // Agents: keyed by raw id, "(main)" for the main session; short ids kept whole.
    r.byAgent.set(AgentIdentity::anonymous("abc"), bucketWith(1, 1.0, 0));
    r.byAgent.set(AgentIdentity::named("zed", "azed-0123456789abcdef"), bucketWith(1, 1.0, 0));
    r.byAgent.set(AgentIdentity::mainSession(), bucketWith(1, 1.0, 0));
    ASSERT_EQ(keysAndLabels(r, Exporter::Axis::agent),
              (KeysAndLabels{{"(main)", "main session"},
                             {"abc", "anonymous agent abc"},
                             {"azed-0123456789abcdef", "zed"}}));
    EXPECT_TRUE(detail::ExportParts::rows(r, Exporter::Axis::agent, cal)[2].agent.has_value());
    EXPECT_FALSE(detail::ExportParts::rows(r, Exporter::Axis::day, cal)[0].agent.has_value());
}

TEST(ExportRows, EqualCostsOrderTheSameWhateverTheEncoding) {
    Report r;
    // "é" precomposed and decomposed sort where "é" sorts, not at the end.
    r.bySession["e\u0301b"] = bucketWith(1, 1.0, 0);
    r.bySession["\u00e9a"] = bucketWith(1, 1.0, 0);
    r.bySession["f"] = bucketWith(1, 1.0, 0);
    EXPECT_EQ(rowKeys(r, Exporter::Axis::session),
              (std::vector<std::string>{"f", "\u00e9a", "e\u0301b"}));
}

TEST(ExportRows, AnEmbeddedNulDoesNotEndTheComparedText) {
    Report r;
    // Composed, both read "é", NUL, then a letter: that letter decides, in the rankings
    // and the exported rows alike, though the decomposed key's bytes come first.
    const std::string decomposed("e\u0301\0z", 5), precomposed("\u00e9\0a", 4);
    r.bySession[decomposed] = bucketWith(1, 1.0, 0);
    r.bySession[precomposed] = bucketWith(1, 1.0, 0);
    auto rows = rowKeys(r, Exporter::Axis::session);
    std::vector<std::string> ranked;
    for (const auto& e : r.topSessions(2))
        ranked.push_back(e.key);
    EXPECT_EQ(rows, (std::vector<std::string>{precomposed, decomposed}));
    EXPECT_EQ(ranked, rows);
}

TEST(ExportStamps, InstantsCarryTheCalendarsOffset) {
    auto ny = Calendar::named("America/New_York");
    auto kolkata = Calendar::named("Asia/Kolkata");
    ASSERT_TRUE(ny && kolkata);
    double winter = ny->instantOf(LocalDay::fromYMD(2026, 1, 15), 9, 5, 7.9);
    double summer = ny->instantOf(LocalDay::fromYMD(2026, 7, 15), 23, 59, 59);
    EXPECT_EQ(detail::ExportParts::Stamps(*ny).instant(winter), "2026-01-15T09:05:07-05:00");
    EXPECT_EQ(detail::ExportParts::Stamps(*ny).instant(summer), "2026-07-15T23:59:59-04:00");
    EXPECT_EQ(detail::ExportParts::Stamps(*kolkata).instant(summer), "2026-07-16T09:29:59+05:30");
    EXPECT_EQ(detail::ExportParts::Stamps(Calendar::utc()).instant(summer), "2026-07-16T03:59:59Z");
    EXPECT_EQ(detail::ExportParts::Stamps(*ny).dayOfInstant(summer), "2026-07-15");
    EXPECT_EQ(detail::ExportParts::Stamps(*kolkata).dayOfInstant(summer), "2026-07-16");
    // Before standard time the zone kept local mean time, an offset with seconds.
    double lmt = kolkata->instantOf(LocalDay::fromYMD(1850, 6, 1), 12, 0, 0);
    EXPECT_EQ(detail::ExportParts::Stamps(*kolkata).instant(lmt), "1850-06-01T12:00:00+05:53:28");

    // The same report gives different activity cells under two zones.
    Report report = vantery::testing::sampleReport();
    auto options = vantery::testing::sampleOptions();
    auto inKolkata = parseCsv(Exporter::breakdownCSV(report, Exporter::Axis::model, options));
    options.calendar = Calendar::utc();
    auto inUtc = parseCsv(Exporter::breakdownCSV(report, Exporter::Axis::model, options));
    ASSERT_TRUE(inKolkata && inUtc);
    EXPECT_EQ((*inKolkata)[1][9], "2026-03-09T09:15:20+05:30");
    EXPECT_EQ((*inUtc)[1][9], "2026-03-09T03:45:20Z");
}

TEST(ExportNames, SuggestedFileNamesAndSlugs) {
    auto options = vantery::testing::sampleOptions();
    using Doc = Exporter::Document;
    EXPECT_EQ(Exporter::suggestedFileName(Doc::breakdown(Exporter::Axis::rawCwd), options),
              "vantery-raw_cwd-2026-03-09_2026-03-10.csv");
    EXPECT_EQ(Exporter::suggestedFileName(Doc::provenance(), options),
              "vantery-provenance-2026-03-09_2026-03-10.csv");
    options.from.reset(); // one end alone is no period: the day of generation
    // 18:30 in Kolkata is 13:00 UTC; at 02:00 local the UTC day would differ.
    options.generatedAt = options.calendar.instantOf(LocalDay::fromYMD(2026, 3, 10), 2, 0, 0);
    EXPECT_EQ(Exporter::suggestedFileName(Doc::breakdown(Exporter::Axis::source), options),
              "vantery-source_home-2026-03-10.csv");
    options.periodLabel = "March 2026 \u2014 client A";
    EXPECT_EQ(Exporter::suggestedFileName(Doc::breakdown(Exporter::Axis::project), options),
              "vantery-project-march-2026-client-a.csv");
    options.periodLabel = "\u2014 !! \u2014";
    EXPECT_EQ(Exporter::suggestedFileName(Doc::breakdown(Exporter::Axis::project), options),
              "vantery-project-.csv");

    EXPECT_EQ(detail::ExportParts::slug("--Q1/Q2 2026__final--"), "q1-q2-2026-final");
    EXPECT_EQ(detail::ExportParts::slug("CAF\u00c9 \u03a9MEGA \u2167"),
              "caf\u00e9-\u03c9mega-\u2177");
    EXPECT_EQ(detail::ExportParts::slug("Cafe\u0301 ../etc"),
              "cafe\u0301-etc"); // é stays one character
    EXPECT_EQ(detail::ExportParts::slug("\u65e5\u672c 3\u6708"), "\u65e5\u672c-3\u6708");
    EXPECT_EQ(detail::ExportParts::slug("\u0130stanbul"), "i\u0307stanbul");
    EXPECT_EQ(detail::ExportParts::slug("a\xff"
                                        "b"),
              "a-b");
    EXPECT_EQ(detail::ExportParts::slug(""), "");
}

TEST(ExportAxis, RawValuesAreExact) {
    for (auto axis : Exporter::Axis::allCases())
        EXPECT_EQ(Exporter::Axis::fromRawValue(axis.rawValue()), axis);
    EXPECT_EQ(Exporter::Axis::fromRawValue("rawCwd"), Exporter::Axis::rawCwd);
    EXPECT_FALSE(Exporter::Axis::fromRawValue("raw_cwd"));
    EXPECT_FALSE(Exporter::Axis::fromRawValue("Project"));
    EXPECT_FALSE(Exporter::Axis::fromRawValue(""));
    EXPECT_EQ(Exporter::Axis(Exporter::Axis::source).columnValue(), "source_home");
    EXPECT_EQ(Exporter::Axis(Exporter::Axis::source).title(), "BY SOURCE HOME");
    EXPECT_TRUE(Exporter::Axis(Exporter::Axis::hour).isChronological());
    EXPECT_FALSE(Exporter::Axis(Exporter::Axis::model).isChronological());
}

namespace {
// A C++ locale that writes 1234.5 as 1.234,5.
struct CommaDecimal : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};
} // namespace

TEST(ExportBreakdown, NumbersDoNotFollowTheProcessLocale) {
    Report report = vantery::testing::sampleReport();
    auto options = vantery::testing::sampleOptions();
    options.summaryAxes = {Exporter::Axis::model};
    options.summaryRowLimit = 5;
    options.sourceFiles = vantery::testing::sampleFiles();
    auto all = [&] {
        return Exporter::breakdownCSV(report, Exporter::Axis::model, options) +
               Exporter::provenanceCSV(report, options) +
               Exporter::clipboardSummary(report, options);
    };
    const std::string before = all();
    // The C library's locale, when one with a decimal comma is installed.
    const char* cLocale = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
        if ((cLocale = std::setlocale(LC_ALL, name))) break;
    std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
    const std::string after = all();
    std::locale::global(std::locale::classic());
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(before, after);
    if (!cLocale) std::cout << "note: no C locale with a decimal comma is installed\n";
}
