#pragma once
// "Check for Updates…": reads an appcast feed (RSS items whose enclosure carries
// sparkle:shortVersionString / sparkle:version, or a version element, and a download
// link) from the URL fixed at build time, and compares its newest version with the one
// this build ships. Only ever runs when the user asks; nothing is scheduled.
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

class QNetworkAccessManager;
class QNetworkReply;

namespace vantery::app {

/// The newest release a feed offers.
struct FeedRelease {
    std::string version;
    std::string link; ///< the enclosure's URL, else the item's link; may be empty
    friend bool operator==(const FeedRelease&, const FeedRelease&) = default;
};

/// What one check found, with the text the user is shown.
struct UpdateCheckResult {
    enum class Kind { upToDate, newer, failed, notConfigured };
    Kind kind = Kind::notConfigured;
    std::string shippedVersion; ///< upToDate, newer
    FeedRelease latest;         ///< upToDate, newer
    std::string reason;         ///< failed: why, starting in lower case

    /// One or two sentences for a message box, plain text.
    std::string text() const;
};

namespace UpdateCheck {

/// The feed URL compiled into this build; empty when the build does not check.
std::string configuredFeedUrl();

/// Orders two versions by their dot-separated parts, numerically ("1.10" > "1.9"); a
/// missing part counts as 0 ("1.2" == "1.2.0"); a part with a suffix after its digits
/// comes before the bare part ("2.0b1" < "2.0"). Returns <0, 0 or >0.
int compareVersions(std::string_view a, std::string_view b);

/// The release with the highest version among the feed's items (items without a version
/// that starts with a digit are skipped), or why there is none: the feed is not
/// well-formed XML, or it lists no version.
std::variant<FeedRelease, std::string> newestRelease(const QByteArray& feed);

/// The verdict for a downloaded feed.
UpdateCheckResult evaluate(const QByteArray& feed,
                           const std::optional<std::string>& shippedVersion);

} // namespace UpdateCheck

/// Runs one check at a time over the network and keeps its result.
class UpdateChecker : public QObject {
    Q_OBJECT

  public:
    struct Settings {
        std::string feedUrl;                       ///< empty: the build does not check
        std::optional<std::string> shippedVersion; ///< absent: nothing to compare with
        std::chrono::milliseconds timeout{15'000}; ///< for the whole download
    };

    /// A checker for the build's own feed URL and version.
    explicit UpdateChecker(QObject* parent = nullptr);
    explicit UpdateChecker(Settings settings, QObject* parent = nullptr);
    ~UpdateChecker() override;

    /// Starts a check and returns at once; finished() follows, also when no URL is
    /// configured. Ignored while a check runs.
    void start();
    bool isRunning() const noexcept { return running_; }
    /// The result of the last finished check.
    const std::optional<UpdateCheckResult>& result() const noexcept { return result_; }

  signals:
    void finished();

  private:
    void replyFinished();
    void finish(UpdateCheckResult result);

    Settings settings_;
    QNetworkAccessManager* network_ = nullptr;
    QPointer<QNetworkReply> reply_;
    QTimer deadline_;
    bool running_ = false;
    bool timedOut_ = false;
    std::optional<UpdateCheckResult> result_;
};

} // namespace vantery::app
