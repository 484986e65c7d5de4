// The update check against an appcast served on loopback: newer, same and older
// versions, a malformed feed, a server that never answers, and a build without a feed.
#include <QAction>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWidget>

#include <gtest/gtest.h>

#include "model/ProductPage.hpp"
#include "model/UpdateCheck.hpp"
#include "widgets/UpdateCommand.hpp"

using namespace vantery::app;
using namespace std::chrono_literals;
using Kind = UpdateCheckResult::Kind;

namespace {

/// Answers every request with one fixed body, or never answers at all.
class FeedServer {
  public:
    explicit FeedServer(std::optional<QByteArray> body) : body_(std::move(body)) {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection())
                QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] {
                    request_ += socket->readAll();
                    if (!body_ || !request_.contains("\r\n\r\n")) return;
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\n"
                                  "Connection: close\r\nContent-Length: " +
                                  QByteArray::number(body_->size()) + "\r\n\r\n" + *body_);
                    socket->disconnectFromHost();
                });
        });
    }
    std::string url() const {
        return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + "/appcast.xml";
    }

  private:
    QTcpServer server_;
    std::optional<QByteArray> body_;
    QByteArray request_;
};

const QByteArray appcast = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel>
    <title>Vantery</title>
    <item>
      <title>Vantery 0.6.0</title>
      <enclosure url="https://example.org/Vantery-0.6.0.zip" sparkle:version="42"
                 sparkle:shortVersionString="0.6.0" length="100" type="application/octet-stream"/>
    </item>
    <item>
      <title>Vantery 0.1.9</title>
      <enclosure url="https://example.org/Vantery-0.1.9.zip" sparkle:version="41"
                 sparkle:shortVersionString="0.1.9"/>
    </item>
  </channel>
</rss>)";

UpdateCheckResult check(const std::string& url, std::optional<std::string> shipped,
                        std::chrono::milliseconds timeout = 5s) {
    UpdateChecker checker({url, std::move(shipped), timeout});
    QSignalSpy finished(&checker, &UpdateChecker::finished);
    checker.start();
    EXPECT_TRUE(checker.isRunning());
    EXPECT_TRUE(finished.wait(10'000));
    EXPECT_EQ(finished.size(), 1);
    EXPECT_FALSE(checker.isRunning());
    return checker.result().value_or(UpdateCheckResult{Kind::failed, {}, {}, "no result"});
}

} // namespace

TEST(UpdateCheck, ComparesVersionsPartByPart) {
    using UpdateCheck::compareVersions;
    EXPECT_GT(compareVersions("1.10", "1.9"), 0);
    EXPECT_EQ(compareVersions("1.2", "1.2.0"), 0);
    EXPECT_LT(compareVersions("0.9.9", "0.10.0"), 0);
    EXPECT_LT(compareVersions("2.0b1", "2.0"), 0);
    EXPECT_LT(compareVersions("2.0b1", "2.0b2"), 0);
    EXPECT_GT(compareVersions("2.0.1", "2.0b9"), 0);
}

TEST(UpdateCheck, ANewerVersionComesWithItsLink) {
    FeedServer server(appcast);
    const auto result = check(server.url(), "0.5.3");
    ASSERT_EQ(result.kind, Kind::newer) << result.text();
    EXPECT_EQ(result.latest, (FeedRelease{"0.6.0", "https://example.org/Vantery-0.6.0.zip"}));
    EXPECT_EQ(result.text(), "Vantery 0.6.0 is available; you have 0.5.3.\n"
                             "Download: https://example.org/Vantery-0.6.0.zip");
}

TEST(UpdateCheck, TheSameOrAnOlderVersionIsUpToDate) {
    FeedServer server(appcast);
    const auto same = check(server.url(), "0.6.0");
    EXPECT_EQ(same.kind, Kind::upToDate);
    EXPECT_EQ(same.text(), "Vantery 0.6.0 is the newest version.");

    const auto older = check(server.url(), "0.10.0");
    EXPECT_EQ(older.kind, Kind::upToDate);
    EXPECT_EQ(older.text(), "Vantery 0.10.0 is newer than the newest version offered (0.6.0).");
}

TEST(UpdateCheck, ReadsVersionElementsAndItemLinks) {
    const auto release = UpdateCheck::newestRelease(R"(<rss><channel>
        <item><version>1.4</version><link>https://example.org/1.4</link></item>
        <item><version>not a version</version></item>
        <item><version> 1.10 </version><link>https://example.org/1.10</link></item>
      </channel></rss>)");
    EXPECT_EQ(std::get<FeedRelease>(release), (FeedRelease{"1.10", "https://example.org/1.10"}));
    EXPECT_EQ(std::get<std::string>(UpdateCheck::newestRelease("<rss><channel/></rss>")),
              "the update feed lists no version");
}

TEST(UpdateCheck, AMalformedFeedFails) {
    FeedServer server(appcast.left(appcast.size() / 2));
    const auto result = check(server.url(), "0.5.3");
    EXPECT_EQ(result.kind, Kind::failed);
    EXPECT_EQ(
        result.text().rfind("The update check failed: the update feed is not well-formed XML", 0),
        0u)
        << result.text();
}

TEST(UpdateCheck, AServerThatNeverAnswersTimesOut) {
    FeedServer server(std::nullopt);
    const auto result = check(server.url(), "0.5.3", 200ms);
    EXPECT_EQ(result.kind, Kind::failed);
    EXPECT_EQ(result.text(), "The update check failed: the update server did not answer within "
                             "200 ms.");
}

TEST(UpdateCheck, WithoutAFeedTheBuildSaysItDoesNotCheck) {
    const auto result = check("", "0.5.3");
    EXPECT_EQ(result.kind, Kind::notConfigured);
    EXPECT_EQ(result.text(), "This build does not check for updates.");
    EXPECT_EQ(ProductPage::shippedVersion(), EXPECTED_VERSION);
}

TEST(UpdateCommand, ShowsTheResultInAMessageBox) {
    QWidget window;
    QAction* action = makeCheckForUpdatesAction(&window, &window, {"", "0.5.3"});
    EXPECT_EQ(action->text(), "Check for Updates…");
    EXPECT_EQ(action->menuRole(), QAction::ApplicationSpecificRole);

    action->trigger();
    QMessageBox* box = nullptr;
    for (int i = 0; i < 100 && !box; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        box = window.findChild<QMessageBox*>();
    }
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), "This build does not check for updates.");
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    box->close();
}
