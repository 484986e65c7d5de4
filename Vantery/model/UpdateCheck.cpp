#include "model/UpdateCheck.hpp"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <QXmlStreamReader>

#include <algorithm>
#include <cctype>
#include <utility>
#include <vector>

#include "model/Fmt.hpp"
#include "model/ProductPage.hpp"

namespace vantery::app {

namespace {

struct VersionPart {
    unsigned long long number = 0;
    std::string_view suffix; ///< whatever follows the digits
};

std::vector<VersionPart> partsOf(std::string_view v) {
    std::vector<VersionPart> parts;
    while (true) {
        const auto dot = v.find('.');
        const auto part = v.substr(0, dot);
        VersionPart p;
        std::size_t i = 0;
        for (; i < part.size() && std::isdigit(static_cast<unsigned char>(part[i])); ++i)
            if (p.number < 1'000'000'000'000ULL) p.number = p.number * 10 + (part[i] - '0');
        p.suffix = part.substr(i);
        parts.push_back(p);
        if (dot == std::string_view::npos) break;
        v.remove_prefix(dot + 1);
    }
    return parts;
}

bool startsWithDigit(std::string_view v) {
    return !v.empty() && std::isdigit(static_cast<unsigned char>(v.front()));
}

std::string trimmed(const QString& s) {
    return s.trimmed().toStdString();
}

} // namespace

std::string UpdateCheckResult::text() const {
    switch (kind) {
    case Kind::upToDate: {
        const int order = UpdateCheck::compareVersions(shippedVersion, latest.version);
        if (order == 0) return "Vantery " + shippedVersion + " is the newest version.";
        return "Vantery " + shippedVersion + " is newer than the newest version offered (" +
               latest.version + ").";
    }
    case Kind::newer: {
        std::string out =
            "Vantery " + latest.version + " is available; you have " + shippedVersion + ".";
        if (!latest.link.empty()) out += "\nDownload: " + latest.link;
        return out;
    }
    case Kind::failed:
        return "The update check failed: " + reason + ".";
    case Kind::notConfigured:
        break;
    }
    return "This build does not check for updates.";
}

namespace UpdateCheck {

std::string configuredFeedUrl() {
    return VANTERY_UPDATE_FEED_URL;
}

int compareVersions(std::string_view a, std::string_view b) {
    const auto pa = partsOf(a), pb = partsOf(b);
    for (std::size_t i = 0; i < std::max(pa.size(), pb.size()); ++i) {
        const VersionPart x = i < pa.size() ? pa[i] : VersionPart{};
        const VersionPart y = i < pb.size() ? pb[i] : VersionPart{};
        if (x.number != y.number) return x.number < y.number ? -1 : 1;
        if (x.suffix == y.suffix) continue;
        if (x.suffix.empty()) return 1; // a release follows its pre-releases
        if (y.suffix.empty()) return -1;
        return x.suffix < y.suffix ? -1 : 1;
    }
    return 0;
}

std::variant<FeedRelease, std::string> newestRelease(const QByteArray& feed) {
    QXmlStreamReader xml(feed);
    std::optional<FeedRelease> newest;
    bool inItem = false;
    std::string attrShort, attrVersion, elemShort, elemVersion, enclosureUrl, link;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const auto name = xml.name();
            if (name == u"item") {
                inItem = true;
                attrShort.clear(), attrVersion.clear(), elemShort.clear(), elemVersion.clear();
                enclosureUrl.clear(), link.clear();
            } else if (!inItem) {
                continue;
            } else if (name == u"enclosure") {
                for (const auto& attribute : xml.attributes()) {
                    if (attribute.name() == u"shortVersionString")
                        attrShort = trimmed(attribute.value().toString());
                    else if (attribute.name() == u"version")
                        attrVersion = trimmed(attribute.value().toString());
                    else if (attribute.name() == u"url")
                        enclosureUrl = trimmed(attribute.value().toString());
                }
            } else if (name == u"shortVersionString") {
                elemShort = trimmed(xml.readElementText(QXmlStreamReader::SkipChildElements));
            } else if (name == u"version") {
                elemVersion = trimmed(xml.readElementText(QXmlStreamReader::SkipChildElements));
            } else if (name == u"link") {
                link = trimmed(xml.readElementText(QXmlStreamReader::SkipChildElements));
            }
        } else if (xml.isEndElement() && xml.name() == u"item" && inItem) {
            inItem = false;
            // The short version is the one a build ships as; the bundle version is a fallback.
            std::string version;
            for (const auto* candidate : {&attrShort, &elemShort, &attrVersion, &elemVersion})
                if (startsWithDigit(*candidate)) {
                    version = *candidate;
                    break;
                }
            if (version.empty()) continue;
            FeedRelease release{version, enclosureUrl.empty() ? link : enclosureUrl};
            if (!newest || compareVersions(release.version, newest->version) > 0)
                newest = std::move(release);
        }
    }
    if (xml.hasError())
        return "the update feed is not well-formed XML (" + xml.errorString().toStdString() +
               ", line " + std::to_string(xml.lineNumber()) + ")";
    if (!newest) return std::string("the update feed lists no version");
    return *newest;
}

UpdateCheckResult evaluate(const QByteArray& feed,
                           const std::optional<std::string>& shippedVersion) {
    using Kind = UpdateCheckResult::Kind;
    auto parsed = newestRelease(feed);
    if (auto* error = std::get_if<std::string>(&parsed))
        return {Kind::failed, {}, {}, std::move(*error)};
    if (!shippedVersion) return {Kind::failed, {}, {}, "this build carries no version to compare"};
    auto latest = std::get<FeedRelease>(std::move(parsed));
    const auto kind =
        compareVersions(latest.version, *shippedVersion) > 0 ? Kind::newer : Kind::upToDate;
    return {kind, *shippedVersion, std::move(latest), {}};
}

} // namespace UpdateCheck

UpdateChecker::UpdateChecker(QObject* parent)
    : UpdateChecker(Settings{UpdateCheck::configuredFeedUrl(), ProductPage::shippedVersion()},
                    parent) {}

UpdateChecker::UpdateChecker(Settings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)) {
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        timedOut_ = true;
        if (reply_) reply_->abort();
    });
}

UpdateChecker::~UpdateChecker() {
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
    }
}

void UpdateChecker::start() {
    if (running_) return;
    running_ = true;
    timedOut_ = false;
    if (settings_.feedUrl.empty()) {
        // Finish on the next turn of the event loop, as a network check would.
        QMetaObject::invokeMethod(
            this,
            [this] {
                finish({UpdateCheckResult::Kind::notConfigured, {}, {}, {}});
            },
            Qt::QueuedConnection);
        return;
    }
    if (!network_) network_ = new QNetworkAccessManager(this);
    QNetworkRequest request(QUrl(QString::fromStdString(settings_.feedUrl)));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    reply_ = network_->get(request);
    connect(reply_, &QNetworkReply::finished, this, &UpdateChecker::replyFinished);
    deadline_.start(settings_.timeout);
}

void UpdateChecker::replyFinished() {
    deadline_.stop();
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    if (!reply) return;
    reply->deleteLater();
    using Kind = UpdateCheckResult::Kind;
    if (timedOut_) {
        const double seconds = std::chrono::duration<double>(settings_.timeout).count();
        finish({Kind::failed,
                {},
                {},
                "the update server did not answer within " + Fmt::duration(seconds)});
    } else if (reply->error() != QNetworkReply::NoError) {
        finish({Kind::failed, {}, {}, reply->errorString().toStdString()});
    } else {
        finish(UpdateCheck::evaluate(reply->readAll(), settings_.shippedVersion));
    }
}

void UpdateChecker::finish(UpdateCheckResult result) {
    result_ = std::move(result);
    running_ = false;
    emit finished();
}

} // namespace vantery::app
