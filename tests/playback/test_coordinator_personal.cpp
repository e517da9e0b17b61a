#include "CoordinatorHarness.h"

#include <QDir>
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

QList<QUuid> idsOf(const QList<PersonalStation>& stations) {
    QList<QUuid> ids;
    for (const PersonalStation& station : stations)
        ids.append(station.id);
    return ids;
}

}  // namespace

class CoordinatorPersonalTest : public QObject {
    Q_OBJECT

private slots:
    void savingANewStationListsAndStoresIt() {
        CoordinatorHarness h;
        h.make();
        h.c().enableLibrarySync();
        QSignalSpy personalChanges(&h.c(), &PlaybackCoordinator::personalStationsChanged);

        const Outcome<PersonalStation> saved = h.c().savePersonalStation(
            std::nullopt, u"  Нова  "_s, u" https://New.Example:8000/live "_s, std::nullopt, false);

        QVERIFY(saved.ok());
        QCOMPARE(saved->title, u"Нова"_s);
        QCOMPARE(saved->url.text(), u"https://new.example:8000/live"_s);
        QCOMPARE(h.c().personalStations(), QList<PersonalStation>{*saved});
        QCOMPARE(h.storedPersonal(), QList<PersonalStation>{*saved});
        QCOMPARE(h.listedIds(), QStringList{saved->stationId()});
        QCOMPARE(h.selectedId(), std::optional<QString>(saved->stationId()));
        QCOMPARE(personalChanges.count(), 1);
        QCOMPARE(h.library->requests, 2);  // enabling, then the save
    }

    void refusedSavesChangeNothing_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("withBadPhoto");
        QTest::addColumn<QString>("message");
        QTest::newRow("blank title") << u"   "_s << u"https://x.example/live"_s << false
                                     << u"Введіть назву станції — від 1 до 80 символів."_s;
        QTest::newRow("plain http") << u"Х"_s << u"http://x.example/live"_s << false
                                    << u"Введіть пряме HTTPS-посилання на аудіопотік без логіна, "
                                       u"пароля та фрагмента #."_s;
        QTest::newRow("the .mp3 form of a saved catalog stream")
            << u"Х"_s << onCatalog(u"/worship.mp3"_s) << false
            << u"Цей потік уже є у ваших станціях."_s;
        QTest::newRow("photo that is no picture")
            << u"Х"_s << u"https://x.example/live"_s << true << u"The photo is no picture."_s;
    }

    void refusedSavesChangeNothing() {
        QFETCH(QString, title);
        QFETCH(QString, address);
        QFETCH(bool, withBadPhoto);
        QFETCH(QString, message);
        CoordinatorHarness h;
        const PersonalStation onWorship =
            personal(u"000000000011"_s, u"Хвала"_s, onCatalog(u"/worship"_s));
        h.storePersonal({onWorship});
        h.make();
        const QByteArray storedBefore = *h.preferences.data(personalStationsPreferenceKey);
        QSignalSpy changes(&h.c(), &PlaybackCoordinator::changed);

        const Outcome<PersonalStation> saved = h.c().savePersonalStation(
            std::nullopt, title, address,
            withBadPhoto ? std::optional<QByteArray>("not a picture") : std::nullopt, false);

        QVERIFY(saved.failed());
        QCOMPARE(saved.failure().message, message);
        QCOMPARE(*h.preferences.data(personalStationsPreferenceKey), storedBefore);
        QCOMPARE(h.c().personalStations(), QList<PersonalStation>{onWorship});
        QCOMPARE(changes.count(), 0);
        QVERIFY(QDir(*PersonalArtwork::folderPath()).isEmpty());
    }

    void savingAStationAgainUnderItsOwnIdIsNoDuplicate() {
        CoordinatorHarness h;
        h.storePersonal({alpha, beta});
        h.make();
        const Outcome<PersonalStation> saved = h.c().savePersonalStation(
            alpha.id, u"Альфа FM"_s, alpha.url.text(), std::nullopt, false);
        QVERIFY(saved.ok());
        QCOMPARE(idsOf(h.c().personalStations()), (QList<QUuid>{alpha.id, beta.id}));
        QCOMPARE(h.c().personalStations().first().title, u"Альфа FM"_s);
    }

    void editingTheSelectedStation_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("pauses");
        QTest::newRow("new title keeps playing") << alpha.url.text() << false;
        QTest::newRow("new address pauses") << u"https://a2.example/live"_s << true;
    }

    void editingTheSelectedStation() {
        QFETCH(QString, address);
        QFETCH(bool, pauses);
        CoordinatorHarness h;
        h.storePersonal({alpha, beta});
        h.make();
        h.c().select(alpha.stationId());
        h.engine.report(EngineEvent::playing(), 1);

        QVERIFY(
            h.c().savePersonalStation(alpha.id, u"Альфа FM"_s, address, std::nullopt, false).ok());

        QCOMPARE(h.c().station()->title, u"Альфа FM"_s);
        QCOMPARE(h.c().station()->stream->url.text(), address);
        if (pauses) {
            QCOMPARE(h.state().phase, PlaybackPhase::paused);
            QCOMPARE(h.state().pauseReason, std::optional<PauseReason>(PauseReason::catalog));
        } else {
            QCOMPARE(h.state().phase, PlaybackPhase::playing);
            QCOMPARE(h.state().generation, 1);
        }
    }

    void photosAreStoredReplacedAndRemoved() {
        CoordinatorHarness h;
        h.storePersonal({alpha});
        h.make();

        const Outcome<PersonalStation> withPhoto = h.c().savePersonalStation(
            alpha.id, alpha.title, alpha.url.text(), jpegPhoto(Qt::red), false);
        QVERIFY(withPhoto.ok());
        const QString first = *withPhoto->artworkFilename;
        QVERIFY(photoFileExists(first));
        QCOMPARE(h.c().stations().first().artworkUrl->toQUrl(), *PersonalArtwork::fileURL(first));

        const Outcome<PersonalStation> replaced = h.c().savePersonalStation(
            alpha.id, alpha.title, alpha.url.text(), jpegPhoto(Qt::blue), false);
        const QString second = *replaced->artworkFilename;
        QVERIFY(second != first);
        QVERIFY(photoFileExists(second));
        QVERIFY(!photoFileExists(first));

        const Outcome<PersonalStation> kept = h.c().savePersonalStation(
            alpha.id, u"Нова назва"_s, alpha.url.text(), std::nullopt, false);
        QCOMPARE(kept->artworkFilename, std::optional<QString>(second));
        QVERIFY(photoFileExists(second));

        const Outcome<PersonalStation> removed =
            h.c().savePersonalStation(alpha.id, alpha.title, alpha.url.text(), std::nullopt, true);
        QVERIFY(!removed->artworkFilename);
        QVERIFY(!photoFileExists(second));
        QVERIFY(!h.c().stations().first().artworkUrl);
    }

    void deletingTheSelectedStationClearsTheSelection() {
        CoordinatorHarness h;
        const Outcome<QString> photo = h.photos.storePhoto(jpegPhoto());
        PersonalStation withPhoto = alpha;
        withPhoto.artworkFilename = *photo;
        h.storePersonal({withPhoto, beta});
        h.make();
        h.c().enableLibrarySync();
        h.c().select(alpha.stationId());

        h.c().deletePersonalStation(alpha.id);

        QCOMPARE(h.c().personalStations(), QList<PersonalStation>{beta});
        QCOMPARE(h.storedPersonal(), QList<PersonalStation>{beta});
        QVERIFY(!photoFileExists(*photo));
        QCOMPARE(h.state().phase, PlaybackPhase::paused);
        QCOMPARE(h.state().pauseReason, std::optional<PauseReason>(PauseReason::catalog));
        QVERIFY(!h.c().station());
        QVERIFY(!h.c().hasStartedListening());
        QVERIFY(!h.storedSelection());
        QCOMPARE(h.library->requests, 2);
    }

    void deletingAnotherStationKeepsTheSelection() {
        CoordinatorHarness h;
        h.storePersonal({alpha, beta});
        h.make();
        h.c().select(alpha.stationId());
        h.c().deletePersonalStation(beta.id);
        QCOMPARE(h.selectedId(), std::optional<QString>(alpha.stationId()));
        QCOMPARE(h.state().phase, PlaybackPhase::connecting);
    }

    void reorder_data() {
        QTest::addColumn<QList<QUuid>>("ids");
        QTest::addColumn<QList<QUuid>>("expected");
        const QList<QUuid> unchanged{alpha.id, beta.id, gammaStation.id};
        QTest::newRow("full new order") << QList<QUuid>{gammaStation.id, alpha.id, beta.id}
                                        << QList<QUuid>{gammaStation.id, alpha.id, beta.id};
        QTest::newRow("named stations swap places")
            << QList<QUuid>{gammaStation.id, alpha.id}
            << QList<QUuid>{gammaStation.id, beta.id, alpha.id};
        QTest::newRow("an id named twice")
            << QList<QUuid>{gammaStation.id, gammaStation.id} << unchanged;
        QTest::newRow("an unknown id")
            << QList<QUuid>{gammaStation.id,
                            QUuid::fromString(u"00000000-0000-4000-8000-0000000000ff"_s)}
            << unchanged;
    }

    void reorder() {
        QFETCH(QList<QUuid>, ids);
        QFETCH(QList<QUuid>, expected);
        CoordinatorHarness h;
        h.storePersonal({alpha, beta, gammaStation});
        h.make();
        h.c().reorderPersonalStations(ids);
        QCOMPARE(idsOf(h.c().personalStations()), expected);
        QCOMPARE(idsOf(h.storedPersonal()), expected);
        QCOMPARE(h.listedIds().first(), h.c().personalStations().first().stationId());
    }

    // The cloud library hands over whatever it merged; a repeated id there
    // must not make a later reorder read past the named ids.
    void reorderWithARepeatedIdFromTheCloud() {
        CoordinatorHarness h;
        h.storePersonal({alpha, beta});
        h.make();
        PersonalStation alphaAgain = alpha;
        alphaAgain.url = address(u"https://a2.example/live"_s);
        h.c().applyLibraryStations({alpha, beta, alphaAgain});

        h.c().reorderPersonalStations({beta.id, alpha.id});

        QCOMPARE(h.c().personalStations(), (QList<PersonalStation>{beta, alpha, alphaAgain}));
        QCOMPARE(h.storedPersonal(), h.c().personalStations());
    }

    void reorderInTheSameOrderWritesNothing() {
        CoordinatorHarness h;
        h.storePersonal({alpha, beta});
        h.make();
        h.c().enableLibrarySync();
        h.preferences.remove(personalStationsPreferenceKey);
        h.c().reorderPersonalStations({alpha.id, beta.id});
        QVERIFY(!h.preferences.contains(personalStationsPreferenceKey));
        QCOMPARE(h.library->requests, 1);
    }

    void appliedListMovesTheSelectionAlong() {
        CoordinatorHarness h;
        const Outcome<QString> photo = h.photos.storePhoto(jpegPhoto());
        PersonalStation betaWithPhoto = beta;
        betaWithPhoto.artworkFilename = *photo;
        h.storePersonal({alpha, betaWithPhoto});
        h.make();
        h.c().enableLibrarySync();
        h.c().select(alpha.stationId());
        h.engine.report(EngineEvent::playing(), 1);
        QSignalSpy revisions(&h.c(), &PlaybackCoordinator::artworkRevisionChanged);

        PersonalStation movedAlpha = alpha;
        movedAlpha.url = address(u"https://a2.example/live"_s);
        const QList<PersonalStation> applied{gammaStation, movedAlpha};
        h.c().applyLibraryStations(applied);

        QCOMPARE(h.c().personalStations(), applied);
        QCOMPARE(h.storedPersonal(), applied);
        QCOMPARE(h.state().phase, PlaybackPhase::paused);
        QCOMPARE(h.state().pauseReason, std::optional<PauseReason>(PauseReason::catalog));
        QCOMPARE(h.c().station()->stream->url, movedAlpha.url);
        QCOMPARE(h.storedSelection(), std::optional<QString>(alpha.stationId()));
        QVERIFY(!photoFileExists(*photo));
        QCOMPARE(h.c().artworkRevision(), 1);
        QCOMPARE(revisions.count(), 1);
        QCOMPARE(h.library->requests, 1);  // the list came from the library itself

        const qint64 generation = h.state().generation;
        h.c().applyLibraryStations(applied);
        QCOMPARE(h.c().artworkRevision(), 1);
        QCOMPARE(h.state().generation, generation);
    }

    void appliedListFollowsTheSelectedStreamUnderAnotherId() {
        CoordinatorHarness h;
        h.storePersonal({alpha});
        h.make();
        h.c().select(alpha.stationId());
        h.engine.report(EngineEvent::playing(), 1);

        const PersonalStation otherCopy =
            personal(u"0000000000aa"_s, u"Альфа з ноутбука"_s, alpha.url.text());
        h.c().applyLibraryStations({otherCopy});

        QCOMPARE(h.selectedId(), std::optional<QString>(otherCopy.stationId()));
        QCOMPARE(h.storedSelection(), std::optional<QString>(otherCopy.stationId()));
        QCOMPARE(h.state().phase, PlaybackPhase::playing);
    }

    void appliedListWithoutTheSelectedStationClearsTheSelection() {
        CoordinatorHarness h;
        h.storePersonal({alpha, beta});
        h.make();
        h.c().select(alpha.stationId());
        h.c().applyLibraryStations({beta});
        QVERIFY(!h.c().station());
        QVERIFY(!h.storedSelection());
        QCOMPARE(h.state().pauseReason, std::optional<PauseReason>(PauseReason::catalog));
        QVERIFY(h.c().hasStartedListening());
    }

    void librarySyncIsCreatedOnce() {
        CoordinatorHarness h;
        h.make();
        QVERIFY(!h.c().syncLibrary());
        h.c().enableLibrarySync();
        FakeLibrarySync* library = h.library;
        h.c().enableLibrarySync();
        QCOMPARE(h.library, library);
        QCOMPARE(library->requests, 1);
        const std::optional<Task<Outcome<Done>>> sync = h.c().syncLibrary();
        QVERIFY(sync && sync->isDone());
        QCOMPARE(library->requests, 2);
    }
};

QTEST_GUILESS_MAIN(CoordinatorPersonalTest)
#include "test_coordinator_personal.moc"
