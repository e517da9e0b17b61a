#include "engine/StreamProbe.h"
#include "engine/StreamResponseError.h"

#include <QTest>
#include <QTimeZone>

using namespace orvanta;
using namespace Qt::StringLiterals;

using OptionalText = std::optional<QString>;
using OptionalSeconds = std::optional<double>;
Q_DECLARE_METATYPE(OptionalText)
Q_DECLARE_METATYPE(OptionalSeconds)
Q_DECLARE_METATYPE(orvanta::HttpResponse)

namespace {

const QDateTime now(QDate(2026, 3, 14), QTime(10, 0, 0), QTimeZone::utc());

HttpResponse response(int status, QByteArray type, QString finalUrl = u"https://radio.test/a"_s,
                      HttpHeaders extra = {}) {
    HttpResponse result;
    result.isHTTP = true;
    result.status = status;
    result.finalUrl = QUrl(finalUrl);
    if (!type.isEmpty())
        result.headers.append({"Content-Type", type});
    result.headers += extra;
    return result;
}

}  // namespace

// The rules of the stream check without a network: statuses, the delay a
// server asks for, and which answers count as a stream.
class StreamResponseTest : public QObject {
    Q_OBJECT

private slots:
    void retryAfter_data() {
        QTest::addColumn<OptionalText>("header");
        QTest::addColumn<OptionalSeconds>("seconds");
        const auto none = OptionalSeconds();
        QTest::newRow("absent") << OptionalText() << none;
        QTest::newRow("seconds") << OptionalText(u"120"_s) << OptionalSeconds(120);
        QTest::newRow("negative gives 0") << OptionalText(u"-5"_s) << OptionalSeconds(0);
        QTest::newRow("minus zero") << OptionalText(u"-0"_s) << OptionalSeconds(0);
        QTest::newRow("plus sign") << OptionalText(u"+7"_s) << OptionalSeconds(7);
        QTest::newRow("fraction") << OptionalText(u"1.5"_s) << OptionalSeconds(1.5);
        QTest::newRow("leading point") << OptionalText(u".5"_s) << OptionalSeconds(0.5);
        QTest::newRow("exponent") << OptionalText(u"1e2"_s) << OptionalSeconds(100);
        QTest::newRow("negative exponent") << OptionalText(u"25E-1"_s) << OptionalSeconds(2.5);
        QTest::newRow("overflow is no number") << OptionalText(u"1e999"_s) << none;
        QTest::newRow("blank around") << OptionalText(u" 120"_s) << none;
        QTest::newRow("unit") << OptionalText(u"120s"_s) << none;
        QTest::newRow("hex") << OptionalText(u"0x10"_s) << none;
        QTest::newRow("infinity") << OptionalText(u"inf"_s) << none;
        QTest::newRow("not a number") << OptionalText(u"nan"_s) << none;
        QTest::newRow("lone point") << OptionalText(u"."_s) << none;
        QTest::newRow("empty") << OptionalText(u""_s) << none;
        QTest::newRow("garbage") << OptionalText(u"soon, please"_s) << none;
        QTest::newRow("future date")
            << OptionalText(u"Sat, 14 Mar 2026 10:01:30 GMT"_s) << OptionalSeconds(90);
        QTest::newRow("date now") << OptionalText(u"Sat, 14 Mar 2026 10:00:00 GMT"_s)
                                  << OptionalSeconds(0);
        QTest::newRow("past date gives 0")
            << OptionalText(u"Wed, 21 Oct 2015 07:28:00 GMT"_s) << OptionalSeconds(0);
        QTest::newRow("date in UTC")
            << OptionalText(u"Sat, 14 Mar 2026 11:00:00 UTC"_s) << OptionalSeconds(3600);
        QTest::newRow("date in another zone")
            << OptionalText(u"Sat, 14 Mar 2026 11:00:00 CET"_s) << none;
        QTest::newRow("date without zone") << OptionalText(u"Sat, 14 Mar 2026 11:00:00"_s) << none;
        QTest::newRow("date in another language")
            << OptionalText(u"Sa, 14 Mär 2026 11:00:00 GMT"_s) << none;
        QTest::newRow("ISO date") << OptionalText(u"2026-03-14T11:00:00Z"_s) << none;
    }
    void retryAfter() {
        QFETCH(OptionalText, header);
        QFETCH(OptionalSeconds, seconds);
        QCOMPARE(parseRetryAfter(header, now), seconds);
    }

    void permanentStatus_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("permanent");
        QTest::newRow("399") << 399 << false;
        QTest::newRow("400") << 400 << true;
        QTest::newRow("403") << 403 << true;
        QTest::newRow("404") << 404 << true;
        QTest::newRow("408 time-out") << 408 << false;
        QTest::newRow("415") << 415 << true;
        QTest::newRow("429 too many") << 429 << false;
        QTest::newRow("499") << 499 << true;
        QTest::newRow("500") << 500 << false;
        QTest::newRow("503") << 503 << false;
        QTest::newRow("200") << 200 << false;
        QTest::newRow("0") << 0 << false;
    }
    void permanentStatus() {
        QFETCH(int, status);
        QFETCH(bool, permanent);
        QCOMPARE(isPermanentStatus(status), permanent);
    }

    void errorTravelsAsFailure() {
        const StreamResponseError error{503, 120.0};
        const Failure failure = error.toFailure();
        QCOMPARE(failure.domain, ErrorDomain::streamResponse);
        QCOMPARE(failure.code, 503L);
        QCOMPARE(failure.retryAfter, OptionalSeconds(120));
        QVERIFY(!failure.isTLSFailure());
        QCOMPARE(StreamResponseError::from(failure), std::optional(error));
        QCOMPARE(StreamResponseError::from(Failure::url(UrlError::timedOut)), std::nullopt);
    }

    void judgement_data() {
        QTest::addColumn<HttpResponse>("head");
        QTest::addColumn<int>("refusal");  // 0 when the answer is a stream
        QTest::addColumn<OptionalSeconds>("retryAfter");
        const auto none = OptionalSeconds();
        QTest::newRow("mp3") << response(200, "audio/mpeg") << 0 << none;
        QTest::newRow("aac+ with parameters")
            << response(200, "Audio/AACP; charset=x") << 0 << none;
        QTest::newRow("HLS") << response(200, "application/vnd.apple.mpegurl") << 0 << none;
        QTest::newRow("HLS, other name") << response(200, "application/x-mpegURL") << 0 << none;
        QTest::newRow("206") << response(206, "audio/ogg") << 0 << none;
        QTest::newRow("html") << response(200, "text/html") << 415 << none;
        QTest::newRow("no media type") << response(200, "") << 415 << none;
        QTest::newRow("audio-like prefix") << response(200, "audiox/mpeg") << 415 << none;
        QTest::newRow("ended on plain http")
            << response(200, "audio/mpeg", u"http://radio.test/a"_s) << 415 << none;
        QTest::newRow("no final address") << response(200, "audio/mpeg", u""_s) << 415 << none;
        QTest::newRow("404") << response(404, "text/html") << 404 << none;
        QTest::newRow("3xx left over") << response(302, "") << 302 << none;
        QTest::newRow("503 asking for 2 minutes")
            << response(503, "text/html", u"https://radio.test/a"_s, {{"retry-after", "120"}})
            << 503 << OptionalSeconds(120);
        QTest::newRow("429 with a date")
            << response(429, "", u"https://radio.test/a"_s,
                        {{"Retry-After", "Sat, 14 Mar 2026 10:00:30 GMT"}})
            << 429 << OptionalSeconds(30);
    }
    void judgement() {
        QFETCH(HttpResponse, head);
        QFETCH(int, refusal);
        QFETCH(OptionalSeconds, retryAfter);
        const WebUrl url = *WebUrl::parse(u"https://radio.test/a");
        const Outcome<StreamCheckResult> result = StreamProbe::judge(url, head, now);
        if (refusal == 0) {
            QVERIFY(result.ok());
            QCOMPARE(result->address, url);
            QCOMPARE(result->status, head.status);
            QCOMPARE(result->mimeType, head.mimeType());
        } else {
            QVERIFY(result.failed());
            QCOMPARE(StreamResponseError::from(result.failure()),
                     std::optional(StreamResponseError{refusal, retryAfter}));
        }
    }

    void notHttpIsABadServerResponse() {
        HttpResponse head = response(200, "audio/mpeg");
        head.isHTTP = false;
        const auto result = StreamProbe::judge(*WebUrl::parse(u"https://radio.test/a"), head, now);
        QVERIFY(result.failed());
        QVERIFY(result.failure().isUrl(UrlError::badServerResponse));
    }

    void requestAsksForAudioAndTitlesBypassingTheCache() {
        const HttpRequest request = StreamProbe::request(*WebUrl::parse(u"https://radio.test/a"));
        QCOMPARE(request.url, QUrl(u"https://radio.test/a"_s));
        QCOMPARE(request.timeout, 10.0);
        QCOMPARE(request.cachePolicy, CachePolicy::reloadIgnoringCache);
        const HttpHeaders expected = {
            {"Accept", "audio/*, application/vnd.apple.mpegurl, application/x-mpegurl"},
            {"Icy-MetaData", "1"}};
        QCOMPARE(request.headers, expected);
    }
};

QTEST_GUILESS_MAIN(StreamResponseTest)
#include "test_stream_response.moc"
