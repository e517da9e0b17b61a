#include "CoordinatorHarness.h"

#include <QSignalSpy>
#include <QTest>

using namespace orvanta;
using namespace orvanta::test;
using namespace Qt::StringLiterals;

namespace {

const PersonalStation alpha = personal(u"000000000001"_s, u"Альфа"_s, u"https://a.example/live"_s);
const PersonalStation beta = personal(u"000000000002"_s, u"Бета"_s, u"https://b.example/live"_s);
const PersonalStation gammaStation =
    personal(u"000000000003"_s, u"Гамма"_s, u"https://c.example/live"_s);

QString none() {
    return {};
}

std::optional<QString> optionalText(const QString& text) {
    return text.isEmpty() ? std::nullopt : std::optional<QString>(text);
}

}  // namespace

class CoordinatorCoreTest : public QObject {
    Q_OBJECT

private slots:
    void constructionKeepsEachValidStoredStationOnce() {
        CoordinatorHarness h;
        PersonalStation alphaAgain = alpha;
        alphaAgain.title = u"Друга Альфа"_s;
        const PersonalStation plainHttp =
            personal(u"000000000009"_s, u"Стара"_s, u"http://old.example/live"_s);
        h.storePersonal({alpha, alphaAgain, plainHttp, beta});
        h.make();

        QCOMPARE(h.c().personalStations(), (QList<PersonalStation>{alpha, beta}));
        QCOMPARE(h.listedIds(), (QStringList{alpha.stationId(), beta.stationId()}));
        QCOMPARE(h.c().station()->title, u"Альфа"_s);
        QCOMPARE(h.state().phase, PlaybackPhase::idle);
        QVERIFY(!h.c().hasStartedListening());
    }

    void constructionRestoresSelection_data() {
        QTest::addColumn<QString>("saved");
        QTest::addColumn<bool>("showsServerStations");
        QTest::addColumn<QString>("expected");
        QTest::newRow("nothing saved: first station") << none() << false << alpha.stationId();
        QTest::newRow("saved personal station") << beta.stationId() << false << beta.stationId();
        QTest::newRow("saved station gone: first station")
            << u"personal:00000000-0000-4000-8000-0000000000ff"_s << false << alpha.stationId();
        QTest::newRow("catalog station waits for the catalog") << u"worship"_s << false << none();
        QTest::newRow("catalog station while listing the catalog")
            << u"worship"_s << true << alpha.stationId();
    }

    void constructionRestoresSelection() {
        QFETCH(QString, saved);
        QFETCH(bool, showsServerStations);
        QFETCH(QString, expected);
        CoordinatorHarness h;
        h.storePersonal({alpha, beta});
        if (!saved.isEmpty())
            h.preferences.setText(selectedStationPreferenceKey, saved);
        PlaybackCoordinator::Options options;
        options.showsServerStations = showsServerStations;
        h.make(std::move(options));
        QCOMPARE(h.selectedId(), optionalText(expected));
    }

    void undecodableStoredDataIsTreatedAsAbsent() {
        CoordinatorHarness h;
        h.preferences.setData(personalStationsPreferenceKey, "[{\"id\": 1}");
        h.preferences.setData(stationGenresPreferenceKey, "{\"x\":");
        h.make();
        QVERIFY(h.c().personalStations().isEmpty());
        QVERIFY(!h.c().station());
    }

    // A personal station that plays a catalog stream takes the catalog's
    // media type, bit rate and picture; a discovered genre becomes the
    // subtitle and a discovered logo the picture of other streams; the
    // listener's own photo wins while its file exists.
    void listedStationCombinesPhotoCatalogAndDiscovery() {
        CoordinatorHarness h;
        const Outcome<QString> photo = h.photos.storePhoto(jpegPhoto());
        QVERIFY(photo.ok());
        const PersonalStation onWorship =
            personal(u"000000000011"_s, u"Хвала"_s, onCatalog(u"/worship.mp3"_s));
        const PersonalStation withGenre =
            personal(u"000000000012"_s, u"Джаз"_s, u"https://jazz.example/live"_s);
        const PersonalStation withPhoto =
            personal(u"000000000013"_s, u"Фото"_s, u"https://photo.example/live"_s, *photo);
        const PersonalStation photoGone =
            personal(u"000000000014"_s, u"Без фото"_s, u"https://jazz.example/live"_s,
                     u"11111111-2222-3333-4444-555555555555.jpg"_s);
        const PersonalStation onSpotify =
            personal(u"000000000015"_s, u"Spotify"_s, onCatalog(u"/spotify"_s));
        h.storePersonal({onWorship, withGenre, withPhoto, photoGone, onSpotify});
        const WebUrl logo = address(u"https://jazz.example/logo.png"_s);
        writeStationGenres(h.preferences,
                           {{u"https://jazz.example/live"_s,
                             StationGenreEntry{u"Smooth  Jazz"_s, h.clock.wallNow(), logo, true}}});
        h.make();

        Task<Done> load = h.c().loadCatalog();
        h.api.answer(catalogOf({catalogStation(u"worship"_s, u"Worship"_s, u"/worship"_s)}));
        QVERIFY(load.isDone());

        const QList<Station>& listed = h.c().stations();
        QCOMPARE(listed.size(), 5);

        const Station& worship = listed[0];
        QCOMPARE(worship.stream->url.text(), onCatalog(u"/worship.mp3"_s));
        QCOMPARE(worship.stream->mimeType, u"audio/aac"_s);
        QCOMPARE(worship.stream->bitrateKbps, std::optional<qint64>(192));
        QCOMPARE(worship.artworkUrl->text(), u"https://images.example/worship.jpg"_s);
        QCOMPARE(worship.displaySubtitle(), std::optional<QString>(u"Власна станція"_s));
        QCOMPARE(h.c().metadataStation(worship)->id, u"worship"_s);
        QCOMPARE(h.c().metadataKey(worship), std::optional<QString>(u"worship"_s));

        const Station& jazz = listed[1];
        QCOMPARE(jazz.subtitle, std::optional<QString>(u"Smooth Jazz"_s));
        QCOMPARE(jazz.artworkUrl, std::optional<WebUrl>(logo));
        QCOMPARE(jazz.stream->mimeType, u"audio/*"_s);
        QVERIFY(!h.c().metadataStation(jazz));
        QVERIFY(!h.c().metadataKey(jazz));

        QCOMPARE(listed[2].artworkUrl->toQUrl(), *PersonalArtwork::fileURL(*photo));
        QCOMPARE(listed[3].artworkUrl, std::optional<WebUrl>(logo));
        QCOMPARE(h.c().metadataStation(listed[4])->id, u"spotify"_s);
    }

    void selectStartsTheStationAndRemembersIt() {
        CoordinatorHarness h;
        h.storePersonal({alpha, beta});
        h.make();
        PlaybackLog log;
        QSignalSpy stateChanges(&h.c(), &PlaybackCoordinator::stateChanged);
        QSignalSpy stationChanges(&h.c(), &PlaybackCoordinator::stationChanged);

        h.c().select(beta.stationId());

        QCOMPARE(h.engine.calls, (QStringList{u"stop"_s, u"play"_s}));
        QCOMPARE(h.engine.plays.last(), (FakePlaybackEngine::Play{u"https://b.example/live"_s, 1}));
        QCOMPARE(h.state().phase, PlaybackPhase::connecting);
        QCOMPARE(h.selectedId(), std::optional<QString>(beta.stationId()));
        QCOMPARE(h.storedSelection(), std::optional<QString>(beta.stationId()));
        QVERIFY(h.c().hasStartedListening());
        QCOMPARE(log.lines, QStringList{u"phase=connecting attempt=0 generation=1"_s});
        QCOMPARE(stateChanges.count(), 1);
        QCOMPARE(stationChanges.count(), 1);
    }

    void selectIgnoresUnknownAndUnplayableStations() {
        CoordinatorHarness h;
        h.storePersonal({alpha});
        PlaybackCoordinator::Options options;
        options.showsServerStations = true;
        h.make(std::move(options));
        Station plainHttp = catalogStation(u"old"_s, u"Old"_s, u"/old"_s);
        plainHttp.stream->url = address(u"http://old.example/live"_s);
        Task<Done> load = h.c().loadCatalog();
        h.api.answer(catalogOf({plainHttp}));
        h.engine.forget();

        h.c().select(u"old"_s);
        h.c().select(u"nowhere"_s);

        QVERIFY(h.engine.calls.isEmpty());
        QCOMPARE(h.selectedId(), std::optional<QString>(alpha.stationId()));
        QVERIFY(!h.c().hasStartedListening());
    }

    void selectingThePausedStationResumesIt() {
        CoordinatorHarness h;
        h.storePersonal({alpha, beta});
        h.make();
        h.c().select(alpha.stationId());
        h.c().pause(PauseReason::user);
        h.engine.forget();

        h.c().select(alpha.stationId());

        QCOMPARE(h.engine.calls, QStringList{u"play"_s});
        QCOMPARE(h.engine.plays.last().generation, 3);
        QCOMPARE(h.state().phase, PlaybackPhase::connecting);
    }

    void step_data() {
        QTest::addColumn<int>("selected");  // index among the stations, -1 for none
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("expected");
        QTest::newRow("next after the last is the first") << 2 << +1 << 0;
        QTest::newRow("previous before the first is the last") << 0 << -1 << 2;
        QTest::newRow("next in the middle") << 1 << +1 << 2;
        QTest::newRow("previous without selection is the last") << -1 << -1 << 2;
        QTest::newRow("next without selection is the second") << -1 << +1 << 1;
    }

    void step() {
        QFETCH(int, selected);
        QFETCH(int, offset);
        QFETCH(int, expected);
        const QList<PersonalStation> stations{alpha, beta, gammaStation};
        CoordinatorHarness h;
        h.storePersonal(stations);
        if (selected < 0)
            h.preferences.setText(selectedStationPreferenceKey, u"worship"_s);
        h.make();
        if (selected >= 0)
            h.c().select(stations[selected].stationId());

        h.c().step(offset);

        QCOMPARE(h.selectedId(), std::optional<QString>(stations[expected].stationId()));
        QCOMPARE(h.state().phase, PlaybackPhase::connecting);
        QCOMPARE(h.engine.plays.last().url, stations[expected].url.text());
    }

    void stepWithOneStationDoesNothing() {
        CoordinatorHarness h;
        h.storePersonal({alpha});
        h.make();
        h.c().step(+1);
        QVERIFY(h.engine.calls.isEmpty());
        QCOMPARE(h.state().phase, PlaybackPhase::idle);
    }

    void togglePausesAndResumes() {
        CoordinatorHarness h;
        h.storePersonal({alpha});
        int deactivations = 0;
        PlaybackCoordinator::Options options;
        options.deactivateAudio = [&] { ++deactivations; };
        h.make(std::move(options));

        h.c().toggle();
        QCOMPARE(h.state().phase, PlaybackPhase::connecting);
        h.engine.report(EngineEvent::playing(), 1);
        h.engine.forget();

        h.c().toggle();
        QCOMPARE(h.state().phase, PlaybackPhase::paused);
        QCOMPARE(h.state().pauseReason, std::optional<PauseReason>(PauseReason::user));
        QCOMPARE(h.engine.calls, QStringList{u"stop"_s});
        QCOMPARE(deactivations, 1);

        h.c().toggle();
        QCOMPARE(h.state().phase, PlaybackPhase::connecting);
        QCOMPARE(h.engine.plays.last().generation, 3);
    }

    void startingOfflineWaitsToReconnect() {
        CoordinatorHarness h;
        h.storePersonal({alpha});
        h.startsReachable = false;
        h.make();
        h.c().startMonitoring();
        QVERIFY(!h.c().isNetworkAvailable());

        h.c().select(alpha.stationId());

        QCOMPARE(h.state().phase, PlaybackPhase::reconnecting);
        QCOMPARE(h.state().lastError, std::optional<QString>(u"Немає з’єднання з інтернетом"_s));
        QVERIFY(h.state().wantsPlayback);
        QVERIFY(h.engine.plays.isEmpty());
    }

    void failingAudioActivationFails() {
        CoordinatorHarness h;
        h.storePersonal({alpha});
        int deactivations = 0;
        PlaybackCoordinator::Options options;
        options.activateAudio = [] { return Outcome<Done>(Failure::file(u"no device"_s)); };
        options.deactivateAudio = [&] { ++deactivations; };
        h.make(std::move(options));

        h.c().play();

        QCOMPARE(h.state().phase, PlaybackPhase::failed);
        QCOMPARE(h.state().lastError, std::optional<QString>(u"Аудіовихід недоступний"_s));
        QVERIFY(!h.state().wantsPlayback);
        QVERIFY(h.engine.plays.isEmpty());
        QCOMPARE(deactivations, 1);
    }

    void catalogLoadProblems_data() {
        QTest::addColumn<bool>("hasPersonalStations");
        QTest::addColumn<int>("answer");  // 0 fresh, 1 cached, 2 failure, 3 cancelled
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("serverStations");
        const QString first = u"Не вдалося завантажити станції. Перевірте інтернет."_s;
        const QString later = u"Не вдалося оновити список"_s;
        QTest::newRow("fresh catalog") << false << 0 << none() << 1;
        QTest::newRow("offline copy still updates the list") << false << 1 << later << 1;
        QTest::newRow("first load fails with nothing listed") << false << 2 << first << 0;
        QTest::newRow("failure with stations listed") << true << 2 << later << 0;
        QTest::newRow("cancelled by the client") << true << 3 << later << 0;
    }

    void catalogLoadProblems() {
        QFETCH(bool, hasPersonalStations);
        QFETCH(int, answer);
        QFETCH(QString, message);
        QFETCH(int, serverStations);
        CoordinatorHarness h;
        if (hasPersonalStations)
            h.storePersonal({alpha});
        h.make();
        const CatalogResult catalog =
            catalogOf({catalogStation(u"worship"_s, u"Worship"_s, u"/worship"_s)}, answer == 1);

        Task<Done> load = h.c().loadCatalog();
        QVERIFY(h.c().isLoading());
        if (answer <= 1)
            h.api.answer(catalog);
        else if (answer == 2)
            h.api.answer(Failure::url(UrlError::notConnectedToInternet));
        else
            h.api.answer(Cancelled{});

        QVERIFY(load.isDone());
        QVERIFY(!h.c().isLoading());
        QCOMPARE(h.c().catalogError(), optionalText(message));
        QCOMPARE(h.c().serverStations().size(), serverStations);
    }

    void aSecondLoadWaitsForTheRunningOne() {
        CoordinatorHarness h;
        h.make();
        QSignalSpy loading(&h.c(), &PlaybackCoordinator::isLoadingChanged);

        Task<Done> first = h.c().loadCatalog();
        Task<Done> second = h.c().loadCatalog();
        QCOMPARE(h.api.fetches, 1);
        QCOMPARE(loading.count(), 1);
        QVERIFY(!second.isDone());

        h.api.answer(catalogOf({}));
        QVERIFY(first.isDone());
        QVERIFY(second.isDone());
        QCOMPARE(loading.count(), 2);

        Task<Done> third = h.c().loadCatalog();
        QCOMPARE(h.api.fetches, 2);
        h.api.answer(catalogOf({}));
        QVERIFY(third.isDone());
    }

    void rememberedCatalogStationMovesToThePersonalStationOfItsStream() {
        CoordinatorHarness h;
        const PersonalStation onWorship =
            personal(u"000000000011"_s, u"Хвала"_s, onCatalog(u"/worship.mp3"_s));
        h.storePersonal({alpha, onWorship});
        h.preferences.setText(selectedStationPreferenceKey, u"worship"_s);
        h.make();
        QVERIFY(!h.c().station());

        Task<Done> load = h.c().loadCatalog();
        h.api.answer(catalogOf({catalogStation(u"worship"_s, u"Worship"_s, u"/worship"_s)}));

        QCOMPARE(h.selectedId(), std::optional<QString>(onWorship.stationId()));
        QCOMPARE(h.storedSelection(), std::optional<QString>(onWorship.stationId()));
        QCOMPARE(h.listedIds(), (QStringList{alpha.stationId(), onWorship.stationId()}));
    }

    void listedCatalogComesFirstInCatalogOrder() {
        CoordinatorHarness h;
        h.storePersonal({alpha});
        PlaybackCoordinator::Options options;
        options.showsServerStations = true;
        h.make(std::move(options));
        Task<Done> load = h.c().loadCatalog();
        h.api.answer(catalogOf({catalogStation(u"b"_s, u"B"_s, u"/ukraine"_s, 2),
                                catalogStation(u"a"_s, u"A"_s, u"/worship"_s, 1)}));
        QCOMPARE(h.listedIds(), (QStringList{u"a"_s, u"b"_s, alpha.stationId()}));
    }

    void catalogThatMovesThePlayingStationReconnects() {
        CoordinatorHarness h;
        PlaybackCoordinator::Options options;
        options.showsServerStations = true;
        h.make(std::move(options));
        Task<Done> first = h.c().loadCatalog();
        h.api.answer(catalogOf({catalogStation(u"worship"_s, u"Worship"_s, u"/worship"_s)}));
        h.c().select(u"worship"_s);
        h.engine.report(EngineEvent::playing(), 1);
        h.engine.forget();

        Task<Done> second = h.c().loadCatalog();
        h.api.answer(catalogOf({catalogStation(u"worship"_s, u"Worship"_s, u"/worship-hd"_s)}));

        QCOMPARE(h.state().phase, PlaybackPhase::connecting);
        QCOMPARE(
            h.engine.plays,
            (QList<FakePlaybackEngine::Play>{{onCatalog(u"/worship-hd"_s), h.state().generation}}));
    }

    void catalogThatDropsTheSelectedStationPauses() {
        CoordinatorHarness h;
        PlaybackCoordinator::Options options;
        options.showsServerStations = true;
        h.make(std::move(options));
        Task<Done> first = h.c().loadCatalog();
        h.api.answer(catalogOf({catalogStation(u"worship"_s, u"Worship"_s, u"/worship"_s),
                                catalogStation(u"lounge"_s, u"Lounge"_s, u"/lounge"_s)}));
        h.c().select(u"worship"_s);

        Task<Done> second = h.c().loadCatalog();
        h.api.answer(catalogOf({catalogStation(u"lounge"_s, u"Lounge"_s, u"/lounge"_s)}));

        QCOMPARE(h.state().phase, PlaybackPhase::paused);
        QCOMPARE(h.state().pauseReason, std::optional<PauseReason>(PauseReason::catalog));
        QVERIFY(!h.c().station());
        QVERIFY(!h.c().hasStartedListening());
    }

    void unchangedValuesSignalNothing() {
        CoordinatorHarness h;
        h.storePersonal({alpha});
        h.make();
        QSignalSpy stations(&h.c(), &PlaybackCoordinator::stationsChanged);
        QSignalSpy state(&h.c(), &PlaybackCoordinator::stateChanged);
        QSignalSpy errors(&h.c(), &PlaybackCoordinator::catalogErrorChanged);

        for (int i = 0; i < 2; ++i) {
            Task<Done> load = h.c().loadCatalog();
            h.api.answer(catalogOf({}));
        }
        h.c().rebuildStations();
        h.c().tickStep();

        QCOMPARE(stations.count(), 0);
        QCOMPARE(state.count(), 0);
        QCOMPARE(errors.count(), 0);
    }

    void destroyingTheCoordinatorEndsItsLoad() {
        CoordinatorHarness h;
        h.make();
        Task<Done> load = h.c().loadCatalog();
        h.coordinator.reset();
        QVERIFY(load.isDone());
        h.api.answer(catalogOf({catalogStation(u"worship"_s, u"Worship"_s, u"/worship"_s)}));
    }

    void reloadWithArtworkResetWaitsForTheSearchReset() {
        CoordinatorHarness h;
        Completion<Outcome<Done>> resetDone;
        int resets = 0;
        PlaybackCoordinator::Options options;
        options.resetArtworkSearch = [&](CancelToken) {
            ++resets;
            return resetDone.task();
        };
        h.make(std::move(options));
        QSignalSpy revisions(&h.c(), &PlaybackCoordinator::artworkRevisionChanged);

        Task<Done> reload = h.c().reload(true);
        QCOMPARE(resets, 1);
        QCOMPARE(h.api.fetches, 0);
        resetDone.complete(Done{});
        QCOMPARE(h.api.fetches, 1);
        h.api.answer(catalogOf({}));

        QVERIFY(reload.isDone());
        QCOMPARE(h.c().artworkRevision(), 1);
        QCOMPARE(revisions.count(), 1);

        Task<Done> plain = h.c().reload(false);
        h.api.answer(catalogOf({}));
        QVERIFY(plain.isDone());
        QCOMPARE(resets, 1);
        QCOMPARE(h.c().artworkRevision(), 1);
    }

    void qmlSeesPlainValues() {
        CoordinatorHarness h;
        h.storePersonal({alpha});
        h.make();
        h.c().select(alpha.stationId());
        const QVariantMap state = h.c().property("state").toMap();
        QCOMPARE(state.value(u"phase"_s).toString(), u"connecting"_s);
        QCOMPARE(state.value(u"generation"_s).toLongLong(), 1);
        const QVariantMap station = h.c().property("station").toMap();
        QCOMPARE(station.value(u"title"_s).toString(), u"Альфа"_s);
        QCOMPARE(station.value(u"subtitle"_s).toString(), u"Власна станція"_s);
        QCOMPARE(h.c().property("stations").toList().size(), 1);
        QVERIFY(!h.c().property("catalogError").isValid());
    }
};

QTEST_GUILESS_MAIN(CoordinatorCoreTest)
#include "test_coordinator_core.moc"
