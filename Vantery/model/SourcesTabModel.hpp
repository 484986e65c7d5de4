#pragma once
// The Sources & honesty tab as plain values: the homes read, what the historical total
// is made of, what the scanner read and rejected, and the cache with its verdict.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/FigureTexts.hpp"
#include "model/TileText.hpp"
#include "model/UsageStore.hpp"
#include "vantery/base/Calendar.hpp"
#include "vantery/cache/ScanCache.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::app {

/// One line with a symbol in front: a warning, a check mark, a question.
struct SourcesNotice {
    enum class Symbol { warning, check, question, eye };
    Symbol symbol = Symbol::check;
    std::string text;
    /// warning: caption in Theme.accent; check and eye: caption 2, secondary;
    /// question: callout in Theme.unknown.
};

/// A row of card 1.
struct SourcesHomeRow {
    std::string name;
    std::string path;
    bool hasFiles = false;  ///< dot in Theme.output, else Theme.unknown
    std::string files;      ///< "1,234 files" (only with files)
    std::string requests;   ///< "56 requests" (only with files)
    CostEstimate cost;      ///< shown by a CostText (only with files)
    std::string absentText; ///< without files: "not present" or "empty — normal, not an error"
    std::optional<std::string> activitySpan; ///< "· 2025-01-02 → 2025-02-03"
};

/// A share row of card 2.
struct SourcesShareRow {
    Component component;
    std::string label;
    std::string tokens; ///< Fmt::exact
    FigureText share;   ///< "%.1f%%", or "unknown" without tokens
};

/// The verdict of the last full verification (card 4).
struct SourcesVerdict {
    bool clean =
        false; ///< checkmark.seal.fill in Theme.output, else xmark.seal.fill in Theme.accent
    std::string summary; ///< the core's verdict sentence
    std::string detail; ///< "full verification 3 min ago · took 1.2 s · cache cost $… vs scan $…"
};

using SourcesGrid = std::vector<std::pair<std::string, std::string>>;

struct SourcesView {
    struct Card {
        std::string title;
        std::string subtitle;
    };
    std::vector<Card> cards; ///< the four cards' titles, in order
    /// Set until the store's first publish (loadingText): cards 1 to 3 show it alone,
    /// since nothing has been read whose homes, prices or rejections could be told.
    std::optional<std::string> loading;

    // Card 1
    std::vector<SourcesHomeRow> homes;
    SourcesNotice readOnly;
    // Card 2
    Bucket total;
    std::vector<SourcesShareRow> shares;
    std::vector<TileText> tiles;
    SourcesNotice priceLine;
    // Card 3
    SourcesGrid parsing;
    SourcesNotice rejection;
    std::optional<std::string> longestLine; ///< "Longest line: <path>"
    // Card 4
    std::optional<SourcesGrid> cacheGrid;  ///< absent before the first refresh
    std::optional<SourcesVerdict> verdict; ///< absent: `unverified` is shown
    SourcesNotice unverified;
    std::string verifyButton = "Verify now (full scan)";
    std::string verifyHelp = "rescan everything from scratch and compare against the cache";
    std::string clearButton = "Clear the cache";
    std::string cacheLine; ///< "Cache: <path>"
};

/// What the tab reads of the store, for one redraw.
struct SourcesInputs {
    const std::vector<UsageStore::HomeInfo>& homeInventory;
    const Report& history;
    const std::optional<ScanCache::RefreshStats>& refreshStats;
    std::optional<double> lastRefresh;
    const std::optional<ScanCache::VerificationResult>& verification;
    std::string cachePath;
    double now;
    const Calendar& userCalendar; ///< writes the homes' first and last days
    std::optional<std::string> loading = std::nullopt;
};

namespace SourcesTabModel {

/// A token class's share of the bucket's tokens in percent; unknown(noData) without tokens.
Estimate<double> share(std::int64_t tokens, const Bucket& bucket);

SourcesView build(const SourcesInputs& inputs);

} // namespace SourcesTabModel
} // namespace vantery::app
