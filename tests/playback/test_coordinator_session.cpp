#include "CoordinatorHarness.h"

#include <QTest>

using namespace orvanta;
using namespace orvanta::test;
using namespace Qt::StringLiterals;

namespace {

EngineEvent lostConnection() {
    return EngineEvent::failed(
        EngineFailure{false, u"Втрачено з’єднання зі станцією"_s, std::nullopt});
}

}  // namespace

// One listening session from the first start to a list merged by the cloud
// library, on a manual clock: every step is a listener action, an engine
// report, a network change or the passing of time.
class CoordinatorSessionTest : public QObject {
    Q_OBJECT

private slots:
    void listeningSession() {
        CoordinatorHarness h;
        int deactivations = 0;
        PlaybackCoordinator::Options options;
        options.deactivateAudio = [&] { ++deactivations; };
        PlaybackCoordinator& c = h.make(std::move(options));
        PlaybackLog log;
        const QList<Station> catalog{catalogStation(u"ukraine"_s, u"Україна"_s, u"/ukraine"_s, 2),
                                     catalogStation(u"worship"_s, u"Worship"_s, u"/worship"_s, 1)};

        // First start: nothing stored, nothing selected. The list is on
        // screen, so the first tick loads the catalog.
        QVERIFY(c.stations().isEmpty());
        QVERIFY(!c.station());
        c.setCatalogVisible(true);
        c.startMonitoring();
        c.enableLibrarySync();
        QCOMPARE(h.library->requests, 1);
        h.clock.advance(1.0);
        QVERIFY(c.isLoading());
        h.api.answer(catalogOf(catalog));
        QVERIFY(!c.isLoading());
        QCOMPARE(c.serverStations().first().id, u"worship"_s);
        QVERIFY(!c.catalogError());
        QVERIFY(c.stations().isEmpty());  // the catalog serves recognition only
        h.api.autoAnswer = catalogOf(catalog);

        // The listener adds two stations; the first becomes the selection and
        // plays a catalog stream, so it takes the catalog's stream details.
        const Outcome<PersonalStation> worship = c.savePersonalStation(
            std::nullopt, u"Хвала"_s, onCatalog(u"/worship.mp3"_s), std::nullopt, false);
        const Outcome<PersonalStation> jazz = c.savePersonalStation(
            std::nullopt, u"Джаз"_s, u"https://jazz.example/live"_s, jpegPhoto(), false);
        QVERIFY(worship.ok() && jazz.ok());
        QVERIFY(photoFileExists(*jazz->artworkFilename));
        QCOMPARE(h.selectedId(), std::optional<QString>(worship->stationId()));
        QCOMPARE(c.station()->stream->mimeType, u"audio/aac"_s);
        QCOMPARE(c.metadataKey(*c.station()), std::optional<QString>(u"worship"_s));
        QCOMPARE(h.library->requests, 3);

        // Select and play.
        c.select(worship->stationId());
        const qint64 firstGeneration = h.state().generation;
        QCOMPARE(h.engine.plays.last(),
                 (FakePlaybackEngine::Play{onCatalog(u"/worship.mp3"_s), firstGeneration}));
        h.engine.report(EngineEvent::playing(), firstGeneration);
        QCOMPARE(h.state().phase, PlaybackPhase::playing);
        QCOMPARE(h.storedSelection(), std::optional<QString>(worship->stationId()));

        // The stream drops; retries back off by 1, 2 and 4 seconds, each
        // failing as soon as it opens.
        h.engine.report(lostConnection(), h.state().generation);
        QCOMPARE(h.state().phase, PlaybackPhase::reconnecting);
        const double retryDelays[] = {1.0, 2.0};
        for (double delay : retryDelays) {
            const int plays = static_cast<int>(h.engine.plays.size());
            h.clock.advance(delay - 1.0);
            QCOMPARE(h.engine.plays.size(), plays);
            h.clock.advance(1.0);
            QCOMPARE(h.engine.plays.size(), plays + 1);
            QCOMPARE(h.engine.plays.last().generation, h.state().generation);
            h.engine.report(lostConnection(), h.state().generation);
        }
        QCOMPARE(h.state().retryAttempt, 2);
        QCOMPARE(*h.state().retryAt, h.clock.now() + 4.0);

        // The network goes away: the due retry waits past its time, and
        // fires in the very step the network comes back.
        h.network->set(false);
        const int playsWhileOffline = static_cast<int>(h.engine.plays.size());
        h.clock.advance(6.0);
        QCOMPARE(h.engine.plays.size(), playsWhileOffline);
        QCOMPARE(h.state().phase, PlaybackPhase::reconnecting);
        h.network->set(true);
        QCOMPARE(h.engine.plays.size(), playsWhileOffline + 1);
        QCOMPARE(h.state().phase, PlaybackPhase::connecting);
        QCOMPARE(h.library->requests, 4);  // the returning network asks for a sync
        QVERIFY(log.lines.contains(
            QStringLiteral("phase=connecting attempt=3 generation=%1").arg(h.state().generation)));

        // Thirty seconds of steady sound end the recovery episode.
        h.engine.report(EngineEvent::playing(), h.state().generation);
        h.clock.advance(30.0);
        QCOMPARE(h.state().phase, PlaybackPhase::playing);
        QCOMPARE(h.state().retryAttempt, 0);
        QVERIFY(!h.state().recoveryStartedAt);

        // A permanent failure gives up at once and reloads the catalog.
        const int fetches = h.api.fetches;
        const int deactivationsBefore = deactivations;
        h.engine.report(
            EngineEvent::failed(EngineFailure{true, u"Потік не знайдено"_s, std::nullopt}),
            h.state().generation);
        QCOMPARE(h.state().phase, PlaybackPhase::failed);
        QVERIFY(!h.state().wantsPlayback);
        QCOMPARE(h.engine.calls.last(), u"stop"_s);
        QCOMPARE(h.api.fetches, fetches + 1);
        QVERIFY(deactivations > deactivationsBefore);
        QVERIFY(log.lines.contains(
            QStringLiteral("phase=failed attempt=0 generation=%1").arg(h.state().generation)));
        h.clock.advance(5.0);
        QCOMPARE(h.state().phase, PlaybackPhase::failed);  // resting until the listener acts

        // The listener starts it again and renames it while it plays: no
        // interruption. Then gives it a new address: it pauses.
        c.select(worship->stationId());
        h.engine.report(EngineEvent::playing(), h.state().generation);
        const qint64 playingGeneration = h.state().generation;
        QVERIFY(c.savePersonalStation(worship->id, u"Хвала FM"_s, worship->url.text(), std::nullopt,
                                      false)
                    .ok());
        QCOMPARE(h.state().phase, PlaybackPhase::playing);
        QCOMPARE(h.state().generation, playingGeneration);
        QCOMPARE(c.station()->title, u"Хвала FM"_s);
        QVERIFY(c.savePersonalStation(worship->id, u"Хвала FM"_s, u"https://praise.example/live"_s,
                                      std::nullopt, false)
                    .ok());
        QCOMPARE(h.state().phase, PlaybackPhase::paused);
        QCOMPARE(h.state().pauseReason, std::optional<PauseReason>(PauseReason::catalog));
        QVERIFY(!c.metadataKey(*c.station()));  // no longer a catalog stream

        // The listener plays the jazz station and deletes it while it plays.
        c.select(jazz->stationId());
        h.engine.report(EngineEvent::playing(), h.state().generation);
        c.deletePersonalStation(jazz->id);
        QCOMPARE(h.state().phase, PlaybackPhase::paused);
        QVERIFY(!c.station());
        QVERIFY(!c.hasStartedListening());
        QVERIFY(!h.storedSelection());
        QVERIFY(!photoFileExists(*jazz->artworkFilename));
        QCOMPARE(c.personalStations().size(), 1);

        // A third station, then a new order.
        const Outcome<PersonalStation> third = c.savePersonalStation(
            std::nullopt, u"Третя"_s, u"https://third.example/live"_s, std::nullopt, false);
        QCOMPARE(h.selectedId(), std::optional<QString>(worship->stationId()));
        c.reorderPersonalStations({third->id, worship->id});
        QCOMPARE(h.listedIds(), (QStringList{third->stationId(), worship->stationId()}));
        QCOMPARE(h.storedPersonal().first().id, third->id);
        const int requestsBeforeCloud = h.library->requests;

        // The cloud library brings a merged list: the selected station was
        // renamed on another computer and a new one arrived.
        PersonalStation renamed = h.c().personalStations().last();
        renamed.title = u"Хвала (ноутбук)"_s;
        const PersonalStation arrived =
            personal(u"0000000000ee"_s, u"Новинка"_s, onCatalog(u"/ukraine"_s));
        const qint64 revision = c.artworkRevision();
        c.applyLibraryStations({h.c().personalStations().first(), renamed, arrived});
        QCOMPARE(c.personalStations().size(), 3);
        QCOMPARE(c.station()->title, u"Хвала (ноутбук)"_s);
        QCOMPARE(h.storedSelection(), std::optional<QString>(worship->stationId()));
        QCOMPARE(c.artworkRevision(), revision + 1);
        QCOMPARE(h.library->requests, requestsBeforeCloud);
        QCOMPARE(c.metadataKey(c.stations().last()), std::optional<QString>(u"ukraine"_s));

        // And the listener picks up where they left off.
        c.play();
        QCOMPARE(h.engine.plays.last().url, u"https://praise.example/live"_s);
        QCOMPARE(h.state().phase, PlaybackPhase::connecting);
    }
};

QTEST_GUILESS_MAIN(CoordinatorSessionTest)
#include "test_coordinator_session.moc"
