#include "CatalogFixtures.h"
#include "stations/CatalogAnswer.h"
#include "stations/CatalogDecoding.h"

#include <QTest>
#include <QTimeZone>

using namespace orvanta;
using namespace orvanta::test;

namespace {

const QDateTime now(QDate(2026, 3, 4), QTime(5, 6, 7), QTimeZone::utc());

// How a download ended, for the tables.
enum class Ending { response, notHTTP, transportFailure, cancelled };

const CatalogCache cached{CatalogCache::currentFormat,
                          QDateTime(QDate(2025, 1, 1), QTime(0, 0), QTimeZone::utc()),
                          QStringLiteral("\"old\""), worshipAndLounge()};

Outcome<HttpBody> download(Ending ending, int status, const QByteArray& etag,
                           const QByteArray& body) {
    switch (ending) {
        case Ending::cancelled:
            return Cancelled{};
        case Ending::transportFailure:
            return Failure::url(UrlError::cannotConnectToHost, QStringLiteral("refused"));
        case Ending::notHTTP:
        case Ending::response:
            break;
    }
    HttpBody result;
    result.response.isHTTP = ending == Ending::response;
    result.response.status = status;
    if (!etag.isEmpty())
        result.response.headers.append({"etag", etag});
    result.data = body;
    return result;
}

// "fresh" and "cached" for results (with where the catalog came from),
// "cancelled", or the failure's domain and code.
QString describe(const Outcome<CatalogResult>& result) {
    if (result.cancelled())
        return QStringLiteral("cancelled");
    if (result.failed())
        return result.failure().domain + QLatin1Char(' ') + QString::number(result.failure().code);
    const QString source =
        result->catalog == *decodeCatalog(cached.data) ? QStringLiteral(" cache") : QString();
    return (result->isCached ? QStringLiteral("cached") : QStringLiteral("fresh")) + source;
}

QString urlError(long code) {
    return QStringLiteral("url %1").arg(code);
}

}  // namespace

Q_DECLARE_METATYPE(Ending)

class CatalogAnswerTest : public QObject {
    Q_OBJECT

private slots:
    void outcomes_data() {
        QTest::addColumn<Ending>("ending");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("withCache");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("replacesCache");

        const QByteArray fresh = ukraineOnly();
        const QByteArray schema2 = catalogDocument(stationJson("a"), 0, "2");
        const Ending response = Ending::response;
        const QString badResponse = urlError(UrlError::badServerResponse);

        QTest::newRow("200, no cache") << response << 200 << fresh << false << "fresh" << true;
        QTest::newRow("200 replaces the cache")
            << response << 200 << fresh << true << "fresh" << true;
        QTest::newRow("200 invalid, no cache") << response << 200 << schema2 << false
                                               << urlError(UrlError::cannotParseResponse) << false;
        QTest::newRow("200 invalid, cache")
            << response << 200 << schema2 << true << "cached cache" << false;
        QTest::newRow("200 not JSON, no cache")
            << response << 200 << QByteArray("oops") << false << "decoding 0" << false;
        QTest::newRow("200 too long, no cache")
            << response << 200 << catalogDocument({}, 1'000'001) << false
            << urlError(UrlError::dataLengthExceedsMaximum) << false;
        QTest::newRow("304, cache confirmed")
            << response << 304 << QByteArray() << true << "fresh cache" << false;
        QTest::newRow("304, no cache")
            << response << 304 << QByteArray() << false << badResponse << false;
        QTest::newRow("500, cache") << response << 500 << fresh << true << "cached cache" << false;
        QTest::newRow("500, no cache") << response << 500 << fresh << false << badResponse << false;
        QTest::newRow("201 is not 200")
            << response << 201 << fresh << false << badResponse << false;
        QTest::newRow("206 is not 200")
            << response << 206 << fresh << true << "cached cache" << false;
        QTest::newRow("not HTTP, no cache")
            << Ending::notHTTP << 200 << fresh << false << badResponse << false;
        QTest::newRow("not HTTP, cache")
            << Ending::notHTTP << 200 << fresh << true << "cached cache" << false;
        QTest::newRow("transport failure, no cache")
            << Ending::transportFailure << 0 << QByteArray() << false
            << urlError(UrlError::cannotConnectToHost) << false;
        QTest::newRow("transport failure, cache")
            << Ending::transportFailure << 0 << QByteArray() << true << "cached cache" << false;
        QTest::newRow("cancelled, no cache")
            << Ending::cancelled << 0 << QByteArray() << false << "cancelled" << false;
        QTest::newRow("cancelled never falls back")
            << Ending::cancelled << 0 << QByteArray() << true << "cancelled" << false;
    }
    void outcomes() {
        QFETCH(Ending, ending);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, withCache);
        QFETCH(QString, expected);
        QFETCH(bool, replacesCache);
        const std::optional<CatalogCache> cache =
            withCache ? std::optional<CatalogCache>(cached) : std::nullopt;
        const CatalogAnswer answer =
            judgeCatalogDownload(download(ending, status, "\"new\"", body), cache, now);
        QCOMPARE(describe(answer.result), expected);
        QCOMPARE(answer.accepted.has_value(), replacesCache);
    }

    void acceptedDownloadBecomesTheRecord() {
        const CatalogAnswer answer = judgeCatalogDownload(
            download(Ending::response, 200, "W/\"1f-x\"", ukraineOnly()), cached, now);
        QVERIFY(answer.accepted);
        QCOMPARE(*answer.accepted,
                 (CatalogCache{1, now, QStringLiteral("W/\"1f-x\""), ukraineOnly()}));
    }

    void answerWithoutEntityTagStoresNone_data() {
        QTest::addColumn<QByteArray>("etag");
        QTest::newRow("absent") << QByteArray();
        QTest::newRow("empty") << QByteArray("");
    }
    void answerWithoutEntityTagStoresNone() {
        QFETCH(QByteArray, etag);
        Outcome<HttpBody> body = download(Ending::response, 200, {}, ukraineOnly());
        if (!etag.isNull())
            body->response.headers.append({"ETag", etag});
        const CatalogAnswer answer = judgeCatalogDownload(body, std::nullopt, now);
        QVERIFY(answer.accepted);
        QCOMPARE(answer.accepted->etag, std::nullopt);
    }

    void transportFailureIsPassedOnWhole() {
        const Failure failure = Failure::url(UrlError::timedOut, QStringLiteral("slow"));
        const CatalogAnswer answer = judgeCatalogDownload(failure, std::nullopt, now);
        QVERIFY(answer.result.failed());
        QCOMPARE(answer.result.failure(), failure);
    }

    void cacheThatFailsTheCheckIsNoFallback() {
        CatalogCache damaged = cached;
        damaged.data = catalogDocument(stationJson("personal:x"));
        for (int status : {304, 500}) {
            const CatalogAnswer answer =
                judgeCatalogDownload(download(Ending::response, status, {}, {}), damaged, now);
            QCOMPARE(describe(answer.result), urlError(UrlError::cannotParseResponse));
        }
    }
};

QTEST_GUILESS_MAIN(CatalogAnswerTest)
#include "test_catalog_answer.moc"
