#include "artwork/CacheFreshness.h"
#include "artwork/ImageResponseCheck.h"
#include "artwork/RefreshedImages.h"
#include "artwork/ThumbnailMemo.h"

#include <QTest>
#include <QTimeZone>

using namespace orvanta;

namespace {

HttpResponse imageResponse() {
    HttpResponse response;
    response.isHTTP = true;
    response.status = 200;
    response.finalUrl = QUrl("https://images.example/cover.jpg");
    response.headers = {{"Content-Type", "image/jpeg"}};
    response.expectedLength = 1000;
    return response;
}

QUrl address(int number) {
    return QUrl(QStringLiteral("https://images.example/%1.jpg").arg(number));
}

}  // namespace

class ArtworkRulesTest : public QObject {
    Q_OBJECT

private slots:
    void responseHeadDecidesBeforeTheBody_data() {
        QTest::addColumn<HttpResponse>("response");
        QTest::addColumn<bool>("accepted");
        const HttpResponse good = imageResponse();
        QTest::newRow("image") << good << true;
        auto with = [&](auto change) {
            HttpResponse changed = good;
            change(changed);
            return changed;
        };
        QTest::newRow("type with parameters") << with([](HttpResponse& r) {
            r.headers = {{"content-type", "Image/PNG; q=1"}};
        }) << true;
        QTest::newRow("unknown length")
            << with([](HttpResponse& r) { r.expectedLength = -1; }) << true;
        QTest::newRow("announced exactly at the bound")
            << with([](HttpResponse& r) { r.expectedLength = 5'242'880; }) << true;
        QTest::newRow("announced one byte over")
            << with([](HttpResponse& r) { r.expectedLength = 5'242'881; }) << false;
        QTest::newRow("not HTTP") << with([](HttpResponse& r) { r.isHTTP = false; }) << false;
        QTest::newRow("not modified") << with([](HttpResponse& r) { r.status = 304; }) << false;
        QTest::newRow("partial content") << with([](HttpResponse& r) { r.status = 206; }) << false;
        QTest::newRow("not found") << with([](HttpResponse& r) { r.status = 404; }) << false;
        QTest::newRow("ended on plain HTTP")
            << with([](HttpResponse& r) { r.finalUrl = QUrl("http://images.example/c.jpg"); })
            << false;
        QTest::newRow("no final address")
            << with([](HttpResponse& r) { r.finalUrl = QUrl(); }) << false;
        QTest::newRow("html") << with([](HttpResponse& r) {
            r.headers = {{"Content-Type", "text/html"}};
        }) << false;
        QTest::newRow("no media type") << with([](HttpResponse& r) { r.headers.clear(); }) << false;
        QTest::newRow("imagery is no image type") << with([](HttpResponse& r) {
            r.headers = {{"Content-Type", "imagery/jpeg"}};
        }) << false;
    }
    void responseHeadDecidesBeforeTheBody() {
        QFETCH(HttpResponse, response);
        QFETCH(bool, accepted);
        const std::optional<Failure> refusal = checkImageResponse(response);
        QCOMPARE(!refusal.has_value(), accepted);
        if (refusal)
            QCOMPARE(refusal->code, long(UrlError::badServerResponse));
    }

    void storedResponsesStayFreshAsTheirHeadersSay_data() {
        QTest::addColumn<HttpHeaders>("headers");
        QTest::addColumn<qint64>("freshSeconds");  // -1: the headers state no lifetime
        const QByteArray date = "Thu, 01 Jan 2026 12:00:00 GMT";
        QTest::newRow("max-age") << HttpHeaders{{"Cache-Control", "max-age=3600"}} << 3600LL;
        QTest::newRow("max-age among others")
            << HttpHeaders{{"cache-control", "public, max-age=60, immutable"}} << 60LL;
        QTest::newRow("max-age before Expires")
            << HttpHeaders{{"Cache-Control", "max-age=10"},
                           {"Date", date},
                           {"Expires", "Thu, 01 Jan 2026 13:00:00 GMT"}}
            << 10LL;
        QTest::newRow("age already spent")
            << HttpHeaders{{"Cache-Control", "max-age=3600"}, {"Age", "100"}} << 3500LL;
        QTest::newRow("older than its lifetime")
            << HttpHeaders{{"Cache-Control", "max-age=60"}, {"Age", "100"}} << 0LL;
        QTest::newRow("Expires an hour after Date")
            << HttpHeaders{{"Date", date}, {"Expires", "Thu, 01 Jan 2026 13:00:00 GMT"}} << 3600LL;
        QTest::newRow("Expires before Date")
            << HttpHeaders{{"Date", date}, {"Expires", "Thu, 01 Jan 2026 11:00:00 GMT"}} << 0LL;
        QTest::newRow("unreadable Expires") << HttpHeaders{{"Expires", "0"}} << 0LL;
        QTest::newRow("shared caches only")
            << HttpHeaders{{"Cache-Control", "s-maxage=600"}} << -1LL;
        QTest::newRow("only Last-Modified")
            << HttpHeaders{{"Last-Modified", "Wed, 31 Dec 2025 12:00:00 GMT"}} << -1LL;
        QTest::newRow("nothing") << HttpHeaders{} << -1LL;
    }
    void storedResponsesStayFreshAsTheirHeadersSay() {
        QFETCH(HttpHeaders, headers);
        QFETCH(qint64, freshSeconds);
        const QDateTime now(QDate(2026, 1, 1), QTime(12, 0), QTimeZone::utc());
        HttpResponse response = imageResponse();
        response.headers = headers;
        const std::optional<QDateTime> expiry = freshnessExpiry(response, now);
        if (freshSeconds < 0) {
            QVERIFY(!expiry.has_value());
        } else {
            QVERIFY(expiry.has_value());
            QCOMPARE(now.secsTo(*expiry), freshSeconds);
        }
    }

    void refreshedImagesKeepThirtyTwoAddresses() {
        RefreshedImages images;
        for (int i = 0; i < 33; ++i)
            images.store(address(i), QByteArray::number(i));
        QCOMPARE(images.size(), 32);
        QVERIFY(!images.contains(address(0)));
        QCOMPARE(images.find(address(32)), std::optional<QByteArray>("32"));

        // A present address is replaced in place and pushes nothing out.
        images.store(address(5), "five again");
        QCOMPARE(images.size(), 32);
        QCOMPARE(images.find(address(5)), std::optional<QByteArray>("five again"));
        QVERIFY(images.contains(address(1)));
        images.store(address(99), "new");
        QVERIFY(!images.contains(address(1)));
        QVERIFY(images.contains(address(5)));
    }

    void memoKeepsRecentThumbnailsWithinItsBudget() {
        const QByteArray thumbnail(1000, 't');
        const QByteArray a = ThumbnailMemo::keyFor("picture a", 768, 90);
        const QByteArray b = ThumbnailMemo::keyFor("picture b", 768, 90);
        const QByteArray c = ThumbnailMemo::keyFor("picture c", 768, 90);
        QVERIFY(a != ThumbnailMemo::keyFor("picture a", 768, 88));
        QCOMPARE(a, ThumbnailMemo::keyFor(QByteArray("picture a"), 768, 90));

        ThumbnailMemo memo(2 * (thumbnail.size() + a.size()));
        memo.insert(a, thumbnail);
        memo.insert(b, thumbnail);
        QVERIFY(memo.find(a).has_value());  // a is now the most recent
        memo.insert(c, thumbnail);
        QCOMPARE(memo.count(), 2);
        QVERIFY(!memo.find(b).has_value());
        QVERIFY(memo.find(a).has_value());
        QVERIFY(memo.find(c).has_value());
        QVERIFY(memo.usedBytes() <= 2 * (thumbnail.size() + a.size()));

        memo.insert(a, QByteArray(10, 'n'));
        QCOMPARE(memo.find(a), std::optional<QByteArray>(QByteArray(10, 'n')));
        memo.insert(b, QByteArray(1 << 20, 'x'));  // larger than the whole budget
        QVERIFY(!memo.find(b).has_value());
        QCOMPARE(memo.count(), 2);
    }
};

QTEST_GUILESS_MAIN(ArtworkRulesTest)
#include "test_artwork_rules.moc"
