#include "playback/EngineEvent.h"
#include "playback/PlaybackEngine.h"

#include <QTest>

#include <limits>

using namespace orvanta;

Q_DECLARE_METATYPE(std::optional<QString>)

class EngineInterfacesTest : public QObject {
    Q_OBJECT

private slots:
    void trackFromFields_data() {
        using O = std::optional<QString>;
        QTest::addColumn<O>("streamTitle");
        QTest::addColumn<O>("title");
        QTest::addColumn<O>("artist");
        QTest::addColumn<O>("expectedTitle");
        QTest::addColumn<O>("expectedArtist");
        const O none;
        QTest::newRow("stream title A - B") << O("A - B") << none << none << O("B") << O("A");
        QTest::newRow("stream title without separator")
            << O("Just B") << none << none << O("Just B") << none;
        QTest::newRow("title B, stream A - B") << O("A - B") << O("B") << none << O("B") << O("A");
        QTest::newRow("title B, stream A - C") << O("A - C") << O("B") << none << O("B") << none;
        QTest::newRow("title and artist") << O("X - Y") << O("B") << O("A") << O("B") << O("A");
        QTest::newRow("empty artist field wins")
            << O("A - B") << O("B") << O("  ") << O("B") << O("");
        QTest::newRow("artist A, stream A - B") << O("A - B") << none << O("A") << O("B") << O("A");
        QTest::newRow("artist A, stream B") << O("B") << none << O("A") << O("B") << O("A");
        QTest::newRow("blank title falls through")
            << O("A - B") << O("   ") << none << O("B") << O("A");
        QTest::newRow("artist with blank stream title")
            << O("  ") << none << O("A") << none << none;
        QTest::newRow("nothing") << none << none << none << none << none;
    }
    void trackFromFields() {
        using O = std::optional<QString>;
        QFETCH(O, streamTitle);
        QFETCH(O, title);
        QFETCH(O, artist);
        QFETCH(O, expectedTitle);
        QFETCH(O, expectedArtist);
        const auto track = StreamSongFields{streamTitle, title, artist}.track();
        QCOMPARE(track.has_value(), expectedTitle.has_value());
        if (!track)
            return;
        QCOMPARE(track->title, expectedTitle);
        QCOMPARE(track->artist, expectedArtist);
        QVERIFY(!track->album && !track->artworkUrl && !track->storeURL);
    }

    void volumeIsClamped() {
        QCOMPARE(PlaybackEngine::clampedVolume(1.5f), 1.0f);
        QCOMPARE(PlaybackEngine::clampedVolume(-0.2f), 0.0f);
        QCOMPARE(PlaybackEngine::clampedVolume(std::numeric_limits<float>::quiet_NaN()), 0.0f);
        QCOMPARE(PlaybackEngine::clampedVolume(0.25f), 0.25f);
    }
};

QTEST_GUILESS_MAIN(EngineInterfacesTest)
#include "test_engine_interfaces.moc"
