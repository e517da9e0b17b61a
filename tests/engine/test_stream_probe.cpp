#include "Await.h"
#include "ManualClock.h"
#include "SilentUpstream.h"
#include "TestCertificates.h"
#include "TestServer.h"
#include "engine/StreamProbe.h"
#include "engine/StreamResponseError.h"
#include "platform/Deployment.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimeZone>

using namespace orvanta;
using namespace orvanta::test;
using namespace Qt::StringLiterals;

namespace {

std::optional<QByteArray> headerOf(const StreamCheckResult& result, QByteArrayView name) {
    HttpResponse head;
    head.headers = result.headers;
    return head.header(name);
}

QString describe(const Outcome<StreamCheckResult>& outcome) {
    if (outcome.ok())
        return u"ok "_s + outcome->address.text();
    if (outcome.cancelled())
        return u"cancelled"_s;
    return outcome.failure().describe();
}

}  // namespace

// The stream check against a real TLS server. The test process makes that
// server the catalog server, so the catalog programmes' address rules apply
// to it.
class StreamProbeTest : public QObject {
    Q_OBJECT

private:
    NginxServer nginx_;

    WebUrl address(const QString& pathAndQuery, const QString& host = u"127.0.0.1"_s) const {
        return *WebUrl::parse(
            u"https://%1:%2%3"_s.arg(host).arg(nginx_.tlsPort()).arg(pathAndQuery));
    }

    static Outcome<StreamCheckResult> await(const Task<Outcome<StreamCheckResult>>& task,
                                            int timeoutMs = 15000) {
        if (!waitFor(task, timeoutMs))
            return Failure::url(UrlError::unknown, u"test gave up waiting"_s);
        return task.result();
    }

    static std::optional<StreamResponseError> refusal(const Outcome<StreamCheckResult>& outcome) {
        return outcome.failed() ? StreamResponseError::from(outcome.failure()) : std::nullopt;
    }

private slots:
    void initTestCase() {
        TestCertificates::instance();
        QVERIFY(installAdditionalTrust() > 0);
        NginxServer::Options options;
        options.tlsServerConfig =
            uR"(
            location = /tone.mp3 { add_header icy-genre "Jazz Lounge"; }
            location = /slow.mp3 { limit_rate 1k; }
            location = /echo {
                default_type audio/mpeg;
                add_header X-Seen-Accept $http_accept;
                add_header X-Seen-Icy $http_icy_metadata;
                return 200 "x";
            }
            location = /ukraine {
                default_type audio/mpeg;
                if ($arg_as = html) { rewrite ^ /page.html last; }
                if ($arg_as = 405) { return 405; }
                if ($arg_as = 503) { return 503; }
            }
            location = /worship.mp3 { return 503; }
            location = /busy { add_header Retry-After 120 always; return 503; }
            location = /busy-until {
                add_header Retry-After "Sat, 14 Mar 2026 10:01:30 GMT" always;
                return 503;
            }
            location = /to-plain { return 302 http://127.0.0.1:{{PLAIN_PORT}}/tone.mp3; }
            location = /to-secure { return 302 https://127.0.0.1:{{TLS_PORT}}/tone.mp3; }
        )"_s;
        QVERIFY(nginx_.start(options));
        const QByteArray someAudio(4096, '\xff');
        QVERIFY(nginx_.writeFile("tone.mp3", someAudio));
        QVERIFY(nginx_.writeFile("lounge.mp3", someAudio));
        QVERIFY(nginx_.writeFile("ukraine", someAudio));
        QVERIFY(nginx_.writeFile("ukraine.mp3", someAudio));
        QVERIFY(nginx_.writeFile("slow.mp3", QByteArray(1 << 20, '\xff')));
        QVERIFY(nginx_.writeFile("page.html", "<!doctype html><title>Радіо</title>"));
        // The catalog origin is read once per process: set it before anything
        // asks for it.
        qputenv("ORVANTA_CATALOG_URL", u"https://127.0.0.1:%1"_s.arg(nginx_.tlsPort()).toUtf8());
        QCOMPARE(Deployment::catalogPort(), int(nginx_.tlsPort()));
    }

    void streamAnswerGivesItsHead() {
        const auto outcome = await(StreamProbe().check(address(u"/tone.mp3"_s)));
        QVERIFY2(outcome.ok(), qPrintable(describe(outcome)));
        QCOMPARE(outcome->address, address(u"/tone.mp3"_s));
        QCOMPARE(outcome->finalUrl, nginx_.httpsUrl(u"/tone.mp3"_s));
        QCOMPARE(outcome->status, 200);
        QCOMPARE(outcome->mimeType, u"audio/mpeg"_s);
        QCOMPARE(outcome->genre, std::optional(u"Jazz Lounge"_s));
    }

    void requestAsksForAudioAndTitles() {
        const auto outcome = await(StreamProbe().check(address(u"/echo"_s)));
        QVERIFY2(outcome.ok(), qPrintable(describe(outcome)));
        QCOMPARE(headerOf(*outcome, "X-Seen-Accept"),
                 std::optional<QByteArray>(
                     "audio/*, application/vnd.apple.mpegurl, application/x-mpegurl"));
        QCOMPARE(headerOf(*outcome, "X-Seen-Icy"), std::optional<QByteArray>("1"));
        QCOMPARE(outcome->genre, std::nullopt);
    }

    void readsOnlyTheHead() {
        // A megabyte at one kilobyte a second: only a check that stops after
        // the head comes back in time.
        QElapsedTimer elapsed;
        elapsed.start();
        const auto outcome = await(StreamProbe().check(address(u"/slow.mp3"_s)), 5000);
        QVERIFY2(outcome.ok(), qPrintable(describe(outcome)));
        QVERIFY(elapsed.elapsed() < 5000);
    }

    void resolve_data() {
        QTest::addColumn<WebUrl>("url");
        QTest::addColumn<QString>("resolved");  // empty when refused
        QTest::addColumn<int>("status");        // the refusal's status
        QTest::newRow("programme missing at its plain address is taken as .mp3")
            << address(u"/lounge"_s) << address(u"/lounge.mp3"_s).text() << 0;
        QTest::newRow(".mp3 address is tried plain first, then as given")
            << address(u"/lounge.mp3"_s) << address(u"/lounge.mp3"_s).text() << 0;
        QTest::newRow(".mp3 address plays at its plain address when that answers")
            << address(u"/ukraine.mp3"_s) << address(u"/ukraine"_s).text() << 0;
        QTest::newRow("415 is retried as .mp3")
            << address(u"/ukraine?as=html"_s) << address(u"/ukraine.mp3?as=html"_s).text() << 0;
        QTest::newRow("405 is retried as .mp3")
            << address(u"/ukraine?as=405"_s) << address(u"/ukraine.mp3?as=405"_s).text() << 0;
        QTest::newRow("503 is not retried") << address(u"/ukraine?as=503"_s) << QString() << 503;
        QTest::newRow("the retry's own refusal is the result")
            << address(u"/worship"_s) << QString() << 503;
        QTest::newRow("404 of an address elsewhere fails at once")
            << address(u"/lounge"_s, u"localhost"_s) << QString() << 404;
        QTest::newRow("404 of a personal path on the catalog host")
            << address(u"/missing"_s) << QString() << 404;
    }
    void resolve() {
        QFETCH(WebUrl, url);
        QFETCH(QString, resolved);
        QFETCH(int, status);
        const auto outcome = await(StreamProbe().resolve(url));
        if (!resolved.isEmpty()) {
            QVERIFY2(outcome.ok(), qPrintable(describe(outcome)));
            QCOMPARE(outcome->address.text(), resolved);
        } else {
            QVERIFY2(outcome.failed(), qPrintable(describe(outcome)));
            QCOMPARE(refusal(outcome), std::optional(StreamResponseError{status, std::nullopt}));
        }
    }

    void refusals_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::addColumn<std::optional<double>>("retryAfter");
        QTest::addColumn<bool>("permanent");
        QTest::newRow("503 asking for two minutes")
            << u"/busy"_s << 503 << std::optional(120.0) << false;
        QTest::newRow("503 asking until a date")
            << u"/busy-until"_s << 503 << std::optional(90.0) << false;
        QTest::newRow("HTML page") << u"/page.html"_s << 415 << std::optional<double>() << true;
        QTest::newRow("redirect to plain HTTP")
            << u"/to-plain"_s << 415 << std::optional<double>() << true;
        QTest::newRow("missing") << u"/missing.mp3"_s << 404 << std::optional<double>() << true;
    }
    void refusals() {
        QFETCH(QString, path);
        QFETCH(int, status);
        QFETCH(std::optional<double>, retryAfter);
        QFETCH(bool, permanent);
        ManualClock clock(0, QDateTime(QDate(2026, 3, 14), QTime(10, 0), QTimeZone::utc()));
        const auto outcome = await(StreamProbe(HttpSession::shared(), clock).check(address(path)));
        QVERIFY2(outcome.failed(), qPrintable(describe(outcome)));
        QCOMPARE(refusal(outcome), std::optional(StreamResponseError{status, retryAfter}));
        QCOMPARE(isPermanentStatus(status), permanent);
        QVERIFY(!outcome.failure().isTLSFailure());
    }

    void redirectWithinHttpsIsFollowed() {
        const auto outcome = await(StreamProbe().check(address(u"/to-secure"_s)));
        QVERIFY2(outcome.ok(), qPrintable(describe(outcome)));
        QCOMPARE(outcome->address, address(u"/to-secure"_s));
        QCOMPARE(outcome->finalUrl, nginx_.httpsUrl(u"/tone.mp3"_s));
    }

    void untrustedCertificateIsATlsFailure() {
        NginxServer rogue;
        NginxServer::Options options;
        options.untrustedCertificate = true;
        QVERIFY(rogue.start(options));
        QVERIFY(rogue.writeFile("tone.mp3", "x"));
        const WebUrl url = *WebUrl::fromQUrl(rogue.httpsUrl(u"/tone.mp3"_s));
        for (const auto& outcome :
             {await(StreamProbe().check(url)), await(StreamProbe().resolve(url))}) {
            QVERIFY2(outcome.failed(), qPrintable(describe(outcome)));
            QVERIFY2(outcome.failure().isTLSFailure(), qPrintable(describe(outcome)));
        }
    }

    void transportFailureIsPassedOn() {
        const WebUrl nobody =
            *WebUrl::parse(u"https://127.0.0.1:%1/lounge"_s.arg(freeLoopbackPort()));
        const auto outcome = await(StreamProbe().resolve(nobody));
        QVERIFY2(outcome.failed(), qPrintable(describe(outcome)));
        QVERIFY2(outcome.failure().isUrl(UrlError::cannotConnectToHost),
                 qPrintable(describe(outcome)));
    }

    void cancellationIsItsOwnOutcome() {
        for (bool resolving : {false, true}) {
            SilentUpstream hung;
            const WebUrl url = *WebUrl::parse(u"https://127.0.0.1:%1/lounge"_s.arg(hung.port()));
            CancelSource source;
            auto task = resolving ? StreamProbe().resolve(url, source.token())
                                  : StreamProbe().check(url, source.token());
            QTRY_VERIFY(hung.connections() > 0);
            QVERIFY(!task.isDone());
            source.cancel();
            QVERIFY(task.isDone());
            QVERIFY(task.result().cancelled());
        }

        SilentUpstream untouched;
        CancelSource early;
        early.cancel();
        auto task = StreamProbe().check(
            *WebUrl::parse(u"https://127.0.0.1:%1/lounge"_s.arg(untouched.port())), early.token());
        QVERIFY(task.isDone() && task.result().cancelled());
        QTest::qWait(100);
        QCOMPARE(untouched.connections(), 0);
    }
};

QTEST_GUILESS_MAIN(StreamProbeTest)
#include "test_stream_probe.moc"
