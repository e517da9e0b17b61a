#include "Await.h"
#include "SilentUpstream.h"
#include "TemporaryHome.h"
#include "TestCertificates.h"
#include "TestServer.h"
#include "platform/HttpSession.h"

#include <QElapsedTimer>
#include <QNetworkCacheMetaData>
#include <QNetworkDiskCache>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace orvanta;
using namespace orvanta::test;

namespace {

QByteArray bytes(qsizetype size) {
    QByteArray data(size, 'x');
    for (qsizetype i = 0; i < size; i += 97)
        data[i] = char('a' + i % 26);
    return data;
}

}  // namespace

class HttpSessionTest : public QObject {
    Q_OBJECT

private:
    NginxServer nginx_;
    SilentUpstream upstream_;

    Outcome<HttpBody> fetch(const QUrl& url, qint64 maxBytes = 1 << 20, double timeout = 10,
                            HttpHeaders headers = {}) {
        HttpRequest request(url, timeout);
        request.headers = headers;
        auto task = HttpSession::shared().fetch(request, maxBytes);
        if (!waitFor(task))
            return Failure::url(UrlError::unknown, "test gave up waiting");
        return task.result();
    }

private slots:
    void initTestCase() {
        TestCertificates::instance();
        QVERIFY(installAdditionalTrust() > 0);
        NginxServer::Options options;
        options.tlsServerConfig = QStringLiteral(R"(
            location = /redirect-to-plain { return 302 http://127.0.0.1:{{PLAIN_PORT}}/hello.txt; }
            location /gz/ { gzip on; gzip_types *; gzip_min_length 1; }
            location /stall { proxy_pass http://127.0.0.1:%1; proxy_read_timeout 60s; }
        )")
                                      .arg(upstream_.port());
        QVERIFY(nginx_.start(options));
        QVERIFY(nginx_.writeFile("hello.txt", "Привіт, ефір\n"));
        QVERIFY(nginx_.writeFile("exact.bin", bytes(1000)));
        QVERIFY(nginx_.writeFile("gz/big.txt", bytes(5000)));
    }

    void wholeBodyWithResponseDetails() {
        auto result = fetch(nginx_.httpsUrl("/hello.txt"));
        QVERIFY2(result.ok(), qPrintable(result.ok() ? "" : result.failure().describe()));
        const HttpResponse& response = result->response;
        QVERIFY(response.isHTTP);
        QCOMPARE(response.status, 200);
        QCOMPARE(result->data, QByteArray("Привіт, ефір\n"));
        QCOMPARE(response.mimeType(), QStringLiteral("text/plain"));
        QCOMPARE(response.expectedLength, qint64(result->data.size()));
        QVERIFY(response.header("etag").has_value());
        QCOMPARE(response.header("ETAG"), response.header("ETag"));
        QCOMPARE(response.finalUrl, nginx_.httpsUrl("/hello.txt"));
    }

    void conditionalRequestGivesNotModified() {
        auto first = fetch(nginx_.httpsUrl("/hello.txt"));
        QVERIFY(first.ok());
        const QByteArray etag = first->response.header("ETag").value();
        auto second = fetch(nginx_.httpsUrl("/hello.txt"), 1 << 20, 10, {{"If-None-Match", etag}});
        QVERIFY(second.ok());
        QCOMPARE(second->response.status, 304);
        QVERIFY(second->data.isEmpty());
    }

    void statusErrorsAreResponsesNotFailures() {
        auto result = fetch(nginx_.httpsUrl("/missing"));
        QVERIFY(result.ok());
        QCOMPARE(result->response.status, 404);
    }

    void bodyBoundCountsEveryByte_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("announced, exactly at the bound") << "/exact.bin" << qint64(1000) << true;
        QTest::newRow("announced, one byte over") << "/exact.bin" << qint64(999) << false;
        QTest::newRow("compressed, unannounced, at the bound")
            << "/gz/big.txt" << qint64(5000) << true;
        QTest::newRow("compressed, unannounced, over") << "/gz/big.txt" << qint64(4999) << false;
    }
    void bodyBoundCountsEveryByte() {
        QFETCH(QString, path);
        QFETCH(qint64, maxBytes);
        QFETCH(bool, accepted);
        auto result = fetch(nginx_.httpsUrl(path), maxBytes);
        if (accepted) {
            QVERIFY(result.ok());
            QCOMPARE(result->data.size(), maxBytes);
        } else {
            QVERIFY(result.failed());
            QCOMPARE(result.failure().code, long(UrlError::dataLengthExceedsMaximum));
        }
    }

    void redirectToPlainHttpIsFollowedAndVisible() {
        auto result = fetch(nginx_.httpsUrl("/redirect-to-plain"));
        QVERIFY(result.ok());
        QCOMPARE(result->response.status, 200);
        QCOMPARE(result->response.finalUrl.scheme(), QStringLiteral("http"));
        QCOMPARE(result->data, QByteArray("Привіт, ефір\n"));
    }

    void stalledServerTimesOut() {
        QElapsedTimer elapsed;
        elapsed.start();
        auto result = fetch(nginx_.httpsUrl("/stall"), 1 << 20, 0.3);
        QVERIFY(result.failed());
        QCOMPARE(result.failure().code, long(UrlError::timedOut));
        QVERIFY(elapsed.elapsed() < 5000);
    }

    void cancellationMidFlightIsItsOwnOutcome() {
        CancelSource source;
        auto task = HttpSession::shared().fetch(HttpRequest(nginx_.httpsUrl("/stall")), 1 << 20,
                                                source.token());
        QTRY_VERIFY(upstream_.connections() > 0);
        QVERIFY(!task.isDone());
        source.cancel();
        QVERIFY(task.isDone());
        QVERIFY(task.result().cancelled());
    }

    void untrustedCertificateIsATlsFailure() {
        NginxServer rogue;
        NginxServer::Options options;
        options.untrustedCertificate = true;
        QVERIFY(rogue.start(options));
        rogue.writeFile("x.txt", "x");
        auto result = fetch(rogue.httpsUrl("/x.txt"));
        QVERIFY(result.failed());
        QVERIFY2(result.failure().isTLSFailure(), qPrintable(result.failure().describe()));
    }

    void transportFailuresAndUnsupportedAddresses_data() {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<long>("code");
        QTest::newRow("nobody listening")
            << QUrl(QStringLiteral("https://127.0.0.1:%1/").arg(freeLoopbackPort()))
            << long(UrlError::cannotConnectToHost);
        QTest::newRow("ftp") << QUrl("ftp://127.0.0.1/x") << long(UrlError::unsupportedURL);
        QTest::newRow("relative") << QUrl("/x") << long(UrlError::unsupportedURL);
    }
    void transportFailuresAndUnsupportedAddresses() {
        QFETCH(QUrl, url);
        QFETCH(long, code);
        auto result = fetch(url);
        QVERIFY(result.failed());
        QCOMPARE(result.failure().code, code);
    }

    void streamGivesTheHeadFirstAndCanStopAnyTime() {
        auto stream = HttpSession::shared().openStream(HttpRequest(nginx_.httpsUrl("/exact.bin")));
        auto head = stream->response();
        QVERIFY(waitFor(head));
        QVERIFY(head.result().ok());
        QCOMPARE(head.result()->expectedLength, qint64(1000));
        QByteArray received;
        for (;;) {
            auto piece = stream->read({}, 300);
            QVERIFY(waitFor(piece));
            QVERIFY(piece.result().ok());
            if (!piece.result().value())
                break;
            QVERIFY(piece.result().value()->size() <= 300);
            received += *piece.result().value();
        }
        QCOMPARE(received, bytes(1000));

        auto stalled = HttpSession::shared().openStream(HttpRequest(nginx_.httpsUrl("/stall")));
        CancelSource source;
        auto waiting = stalled->response(source.token());
        QTest::qWait(50);
        source.cancel();
        QVERIFY(waiting.isDone() && waiting.result().cancelled());

        // Stopping the stream itself, or dropping it, ends a wait that has
        // no token of its own.
        auto stopped = HttpSession::shared().openStream(HttpRequest(nginx_.httpsUrl("/stall")));
        auto untokened = stopped->response();
        QTest::qWait(50);
        stopped->cancel();
        QVERIFY(untokened.isDone() && untokened.result().cancelled());
        auto dropped = HttpSession::shared().openStream(HttpRequest(nginx_.httpsUrl("/stall")));
        auto orphaned = dropped->response();
        QTest::qWait(50);
        dropped.reset();
        QVERIFY(orphaned.isDone() && orphaned.result().cancelled());
    }

    void dataTaskReportsInOrderAndCanDecline() {
        QStringList events;
        QByteArray received;
        auto task = HttpSession::shared().startDataTask(
            HttpRequest(nginx_.httpsUrl("/exact.bin")),
            {[&](const HttpResponse& response) {
                 events << QStringLiteral("response %1").arg(response.status);
                 return true;
             },
             [&](const QByteArray& data) { received += data; },
             [&](const Outcome<Done>& outcome) { events << (outcome.ok() ? "done" : "failed"); }});
        QTRY_COMPARE(events.size(), 2);
        QCOMPARE(events, (QStringList{"response 200", "done"}));
        QCOMPARE(received, bytes(1000));

        std::optional<Outcome<Done>> declined;
        auto refused = HttpSession::shared().startDataTask(
            HttpRequest(nginx_.httpsUrl("/exact.bin")),
            {[](const HttpResponse&) { return false; },
             [&](const QByteArray&) { QFAIL("no data"); },
             [&](const Outcome<Done>& outcome) { declined = outcome; }});
        QTRY_VERIFY(declined.has_value());
        QVERIFY(declined->cancelled());
    }

    void responsesCanBeStoredInTheSessionCache() {
        TemporaryHome home;
        HttpSession session(HttpSessionConfiguration{std::nullopt, "TestCache", 1 << 20});
        auto result = fetch(nginx_.httpsUrl("/hello.txt"));
        QVERIFY(result.ok());
        const QUrl url = nginx_.httpsUrl("/stored.txt");
        QVERIFY(session.storeCachedResponse(url, result->response, "stored body"));
        std::unique_ptr<QIODevice> cached(session.cache()->data(url));
        QVERIFY(cached);
        QCOMPARE(cached->readAll(), QByteArray("stored body"));

        // A fresh stored answer is served without asking the server (which
        // has no such file), and a reader that asks for the body the moment
        // the head arrives gets it and its end, not an idle time-out.
        QNetworkCacheMetaData metaData = session.cache()->metaData(url);
        metaData.setExpirationDate(QDateTime::currentDateTimeUtc().addSecs(3600));
        session.cache()->updateMetaData(metaData);
        auto stream = session.openStream(HttpRequest(url, 5.0));
        QByteArray body;
        std::optional<Outcome<std::optional<QByteArray>>> end;
        std::vector<Task<Outcome<std::optional<QByteArray>>>> reads;
        reads.reserve(8);
        std::function<void()> readOn = [&] {
            reads.push_back(stream->read({}, 4));
            reads.back().then(this, [&](const Outcome<std::optional<QByteArray>>& piece) {
                if (!piece.ok() || !piece.value()) {
                    end = piece;
                    return;
                }
                body += **piece;
                readOn();
            });
        };
        auto head = stream->response();
        head.then(this, [&](const Outcome<HttpResponse>&) { readOn(); });
        QTRY_VERIFY_WITH_TIMEOUT(end.has_value(), 3000);
        QCOMPARE(head.result()->status, 200);
        QVERIFY(end->ok());
        QCOMPARE(body, QByteArray("stored body"));
    }
};

QTEST_GUILESS_MAIN(HttpSessionTest)
#include "test_http_session.moc"
