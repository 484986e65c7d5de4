// `provenance`: opening a day, then a project, then a session of the Provenance tab on
// a generated history (a million requests by default): the one-off index build per
// published refresh, then each redraw with and without the index.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/ProvenanceTabModel.hpp"
#include "vantery/report/Aggregator.hpp"

using namespace vantery;
using namespace vantery::app;

namespace {

double ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
        .count();
}

// Built straight into a table's rows: ten million plain records would take gigabytes.
std::shared_ptr<const RequestTable> generate(std::size_t count, int days,
                                             const Calendar& calendar) {
    std::mt19937_64 rng(7);
    auto dictionary = std::make_shared<RequestDictionary>();
    std::vector<std::shared_ptr<const FileBlock>> blocks;
    FileBlock::Builder block;
    const char* models[] = {"claude-opus-4-1", "claude-sonnet-4-5", "claude-haiku-4-5",
                            "claude-3-5-haiku"};
    const double start = calendar.startOfDay(LocalDay::fromYMD(2025, 1, 1));
    const double span = days * 86400.0;
    for (std::size_t i = 0; i < count; ++i) {
        UsageRecord r;
        // Time-ordered like a real history: sessions of a few hundred requests each.
        r.timestamp = start + span * static_cast<double>(i) / static_cast<double>(count);
        const std::size_t session = i / 400;
        r.sessionId = "session-" + std::to_string(session);
        r.rawCwd = "/Users/me/code/project-" + std::to_string(session % 40) +
                   (rng() % 5 == 0 ? "/sub" : "");
        r.agent = rng() % 3 == 0 ? AgentIdentity::anonymous("agent-" + std::to_string(rng() % 6))
                                 : AgentIdentity::mainSession();
        r.model = models[rng() % 4];
        r.sourceHome = ".claude";
        r.input = static_cast<std::int64_t>(rng() % 5000);
        r.output = static_cast<std::int64_t>(rng() % 2000);
        r.cacheRead = static_cast<std::int64_t>(rng() % 200000);
        r.cacheWrite5m = static_cast<std::int64_t>(rng() % 20000);
        block.add(std::to_string(i), dictionary->rowOf(r));
        if (block.size() == 400'000) {
            blocks.push_back(block.finish());
            block = FileBlock::Builder();
        }
    }
    blocks.push_back(block.finish());
    return std::make_shared<const RequestTable>(std::move(dictionary), std::move(blocks));
}

} // namespace

int provenanceBench(std::size_t count, int days) {
    const Calendar calendar = Calendar::current();
    const ProjectResolver resolver("/Users/me", false);
    const auto table = generate(count, days, calendar);
    const Report history =
        Aggregator(calendar, resolver).aggregate(*table, std::nullopt, std::nullopt, {}, false);

    auto t = std::chrono::steady_clock::now();
    const auto index = ProvenanceIndex::build(table, calendar, resolver);
    const double indexMs = ms(t);

    // Open the newest day, its most expensive project and that project's top session.
    const LocalDay day = history.byDay.rbegin()->first;
    ProvenanceSource source{history, *table, resolver, calendar, calendar, index.get()};
    const auto project = ProvenanceTabModel::projectsFor(source, day).front().first;
    const double dayStart = calendar.startOfDay(day);
    const auto session = ProvenanceTabModel::sessionsFor(source, day, project).front().first;

    ProvenanceState state;
    struct Step {
        const char* name;
        std::string key;
    };
    const Step steps[] = {
        {"day", {}},
        {"day+project", ProvenanceTabModel::projectKey(dayStart, project)},
        {"day+project+session", ProvenanceTabModel::sessionKey(dayStart, project, session)}};
    std::printf("requests %zu over %d days (%zu on the open day); index build %.1f ms\n", count,
                days, index->rowsOn(day).size(), indexMs);
    for (const Step& step : steps) {
        if (step.key.empty())
            state.toggleDay(day);
        else
            state.toggleKey(step.key);
        double best = 1e300, bestWithout = 1e300;
        std::size_t rows = 0;
        for (int run = 0; run < 5; ++run) {
            t = std::chrono::steady_clock::now();
            rows = ProvenanceTabModel::build(source, state).rows.size();
            best = std::min(best, ms(t));
        }
        ProvenanceSource unindexed = source;
        unindexed.index = nullptr;
        for (int run = 0; run < 2; ++run) {
            t = std::chrono::steady_clock::now();
            ProvenanceTabModel::build(unindexed, state);
            bestWithout = std::min(bestWithout, ms(t));
        }
        std::printf("open %-20s redraw %7.2f ms with the index, %8.1f ms walking every request "
                    "(%zu rows)\n",
                    step.name, best, bestWithout, rows);
    }
    return 0;
}
