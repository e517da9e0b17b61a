#include "CoordinatorHarness.h"
#include "playback/ArtworkLoaderPrefetch.h"

#include <QJsonDocument>
#include <QTest>

#include <type_traits>
#include <vector>

using namespace orvanta;
using namespace orvanta::test;
using namespace Qt::StringLiterals;

namespace {

// The loader-backed prefetch fits the coordinator's option.
static_assert(std::is_assignable_v<decltype(PlaybackCoordinator::Options::prefetchImage)&,
                                   decltype(imagePrefetch(std::declval<ArtworkLoader&>()))>);

const QString relaxAddress = u"https://relax.example/live"_s;
const QString jazzAddress = u"https://jazz.example/live"_s;

PersonalStation relaxStation() {
    return personal(u"000000000031"_s, u"Релакс"_s, relaxAddress);
}
PersonalStation jazzStation() {
    return personal(u"000000000032"_s, u"Джаз"_s, jazzAddress);
}
PersonalStation onWorshipStream() {
    return personal(u"000000000033"_s, u"Хвала"_s, onCatalog(u"/worship.mp3"_s));
}

QList<Station> catalog() {
    return {catalogStation(u"worship"_s, u"Worship"_s, u"/worship"_s, 1),
            catalogStation(u"ukraine"_s, u"Україна"_s, u"/ukraine"_s, 2)};
}

RadioTrack song(const QString& artist, const QString& title, std::optional<QString> album = {},
                std::optional<QString> cover = {}) {
    RadioTrack track;
    track.artist = artist;
    track.title = title;
    track.album = std::move(album);
    if (cover)
        track.artworkUrl = QUrl(*cover);
    return track;
}

RadioTrack bareTitle(const QString& title) {
    RadioTrack track;
    track.title = title;
    return track;
}

QString shown(const std::optional<RadioTrack>& track) {
    if (!track)
        return u"none"_s;
    return QString::fromUtf8(QJsonDocument(track->toJson()).toJson(QJsonDocument::Compact));
}

NowPlayingSnapshot snapshotOf(const QString& stationId, const QDateTime& now,
                              std::optional<RadioTrack> track, std::optional<QString> eventId = {},
                              std::optional<qint64> listeners = {}) {
    NowPlayingSnapshot snapshot;
    snapshot.stationId = stationId;
    snapshot.eventId = std::move(eventId);
    snapshot.observedAt = now;
    snapshot.expiresAt = now.addSecs(30);
    snapshot.status = NowPlayingStatus::current;
    snapshot.track = std::move(track);
    if (listeners)
        snapshot.listeners = Listeners{listeners, NowPlayingStatus::current, now, now.addSecs(30)};
    return snapshot;
}

StreamSongFields streamTitle(const QString& text) {
    return StreamSongFields{text, std::nullopt, std::nullopt};
}

// A cover search the test answers by hand.
struct FakeArtworkSearch {
    struct Call {
        RadioTrack track;
        QString stationId;
        std::optional<PlaybackCoordinator::ArtworkQuery> query;
        CancelToken token;
        Completion<Outcome<std::optional<RadioTrack>>> completion;
        CancelRegistration registration;
    };

    std::shared_ptr<Call> record(RadioTrack track, QString stationId, CancelToken token) {
        auto call = std::make_shared<Call>();
        call->track = std::move(track);
        call->stationId = std::move(stationId);
        call->token = token;
        if (honoursCancellation) {
            call->registration = token.onCancel(
                [completion = call->completion] { completion.complete(Cancelled{}); });
        }
        calls.push_back(call);
        return call;
    }

    auto stationHook() {
        return [this](RadioTrack track, Station station, CancelToken token) {
            return record(std::move(track), station.id, std::move(token))->completion.task();
        };
    }
    auto queryHook() {
        return
            [this](RadioTrack track, PlaybackCoordinator::ArtworkQuery query, CancelToken token) {
                auto call = record(std::move(track), query.stationID, std::move(token));
                call->query = std::move(query);
                return call->completion.task();
            };
    }

    void answer(int index, std::optional<RadioTrack> found) {
        calls.at(index)->completion.complete(std::move(found));
    }

    std::vector<std::shared_ptr<Call>> calls;
    bool honoursCancellation = true;
};

// A genre and logo discovery the test answers by hand.
struct FakeStationInfo {
    struct Call {
        QString address;
        Completion<Outcome<StationGenreEntry>> completion;
        CancelRegistration registration;
    };

    auto hook() {
        return [this](WebUrl address, CancelToken token) {
            auto call = std::make_shared<Call>();
            call->address = address.text();
            call->registration = token.onCancel(
                [completion = call->completion] { completion.complete(Cancelled{}); });
            calls.push_back(call);
            return call->completion.task();
        };
    }
    QStringList addresses() const {
        QStringList asked;
        for (const auto& call : calls)
            asked.append(call->address);
        return asked;
    }

    std::vector<std::shared_ptr<Call>> calls;
};

// A coordinator whose catalog is loaded (answered at once from now on),
// ready to play the catalog stations or the stored personal ones.
struct Listening : CoordinatorHarness {
    void start(PlaybackCoordinator::Options options = {}) {
        api.autoAnswer = catalogOf(catalog());
        make(std::move(options));
        const Task<Done> load = c().loadCatalog();
        QVERIFY(load.isDone());
    }
    void play(const QString& stationId) {
        c().select(stationId);
        engine.report(EngineEvent::playing(), state().generation);
    }
    void title(const QString& text) {
        engine.report(EngineEvent::metadata(streamTitle(text)), state().generation);
    }
    bool answer(const QString& nowPlayingId, std::optional<RadioTrack> track,
                std::optional<QString> eventId = {}, std::optional<qint64> listeners = {}) {
        return api.answerNowPlaying(snapshotOf(nowPlayingId, clock.wallNow(), std::move(track),
                                               std::move(eventId), listeners));
    }
    QString current() const { return shown(coordinator->currentTrack()); }
};

PlaybackCoordinator::Options showingCatalog() {
    PlaybackCoordinator::Options options;
    options.showsServerStations = true;
    return options;
}

std::function<std::optional<QString>(const Station&)> relaxFeed() {
    return [](const Station& station) -> std::optional<QString> {
        if (station.stream && station.stream->url.text() == relaxAddress)
            return u"website:relax"_s;
        return std::nullopt;
    };
}

}  // namespace

class CoordinatorNowPlayingTest : public QObject {
    Q_OBJECT

private slots:
    void pollingInterval_data() {
        QTest::addColumn<bool>("outsideFeed");
        QTest::addColumn<QString>("nowPlayingId");
        QTest::addColumn<double>("interval");
        QTest::newRow("catalog station") << false << u"worship"_s << 0.75;
        QTest::newRow("outside feed") << true << u"website:relax"_s << 10.0;
    }

    void pollingInterval() {
        QFETCH(bool, outsideFeed);
        QFETCH(QString, nowPlayingId);
        QFETCH(double, interval);
        Listening h;
        h.storePersonal({relaxStation()});
        PlaybackCoordinator::Options options = showingCatalog();
        options.websiteMetadataID = relaxFeed();
        h.start(std::move(options));
        h.play(outsideFeed ? relaxStation().stationId() : u"worship"_s);

        QCOMPARE(h.api.nowPlayingIds, QStringList{nowPlayingId});  // the first ask is at once
        QVERIFY(h.answer(nowPlayingId, song(u"A"_s, u"One"_s)));
        h.clock.advance(interval - 0.05);
        QCOMPARE(h.api.nowPlayingIds.size(), 1);
        h.clock.advance(0.1);
        QCOMPARE(h.api.nowPlayingIds.size(), 2);
        // A failed answer does not stop the polling.
        QVERIFY(h.api.answerNowPlaying(Failure::url(UrlError::badServerResponse)));
        h.clock.advance(interval);
        QCOMPARE(h.api.nowPlayingIds.size(), 3);
    }

    void stationWithoutSourceIsNotPolled() {
        Listening h;
        h.storePersonal({jazzStation()});
        h.start();
        h.play(jazzStation().stationId());
        h.clock.advance(20.0);
        QVERIFY(h.api.nowPlayingIds.isEmpty());
    }

    // A poll, a title change and the refresh action asking about the same
    // moment share one request and all see its answer.
    void requestsForTheSameMomentAreJoined() {
        Listening h;
        h.start(showingCatalog());
        h.play(u"worship"_s);
        h.title(u"Artist A - Song A"_s);
        const Task<Done> refresh = h.c().reload(false);
        QCOMPARE(h.api.nowPlayingIds, QStringList{u"worship"_s});
        QVERIFY(!refresh.isDone());

        const RadioTrack served =
            song(u"Artist A"_s, u"Song A"_s, u"Album"_s, u"https://img.example/a.jpg"_s);
        QVERIFY(h.answer(u"worship"_s, served, u"e1"_s, 42));
        QVERIFY(refresh.isDone());
        QCOMPARE(h.current(), shown(served));
        QCOMPARE(h.c().listenerCount(), std::optional<qint64>(42));

        // The answered request is not joined again: the next poll asks anew.
        h.clock.advance(0.75);
        QCOMPARE(h.api.nowPlayingIds.size(), 2);
    }

    void answersThatNoLongerFitChangeNothing_data() {
        QTest::addColumn<QString>("situation");
        QTest::newRow("answer about another station") << u"other station id"_s;
        QTest::newRow("answer for an earlier connection") << u"earlier connection"_s;
        QTest::newRow("answer after pausing") << u"paused"_s;
    }

    void answersThatNoLongerFitChangeNothing() {
        QFETCH(QString, situation);
        Listening h;
        h.api.honoursCancellation = false;  // late answers do arrive
        h.start(showingCatalog());
        h.play(u"worship"_s);
        const RadioTrack served = song(u"A"_s, u"One"_s);

        if (situation == u"other station id"_s) {
            QVERIFY(h.answer(u"ukraine"_s, served, {}, 7));
        } else if (situation == u"earlier connection"_s) {
            h.c().pause(PauseReason::user);
            h.play(u"worship"_s);
            QCOMPARE(h.api.nowPlayingIds.size(), 2);
            QVERIFY(h.answer(u"worship"_s, served, {}, 7));  // the first request's answer
        } else {
            h.c().pause(PauseReason::user);
            QVERIFY(h.answer(u"worship"_s, served, {}, 7));
            h.engine.report(EngineEvent::metadata(streamTitle(u"B - Two"_s)), h.state().generation);
        }
        QCOMPARE(h.current(), u"none"_s);
        QVERIFY(!h.c().listenerCount());
    }

    // The stream title is matched against the three newest snapshots that
    // carried a track; one broadcast event counts once, at its newest.
    // The cloud library's merge may hand the playing stream back under
    // another computer's id; playback goes on and so must the polling.
    void pollingFollowsTheStationIntoAnAppliedList() {
        Listening h;
        h.storePersonal({onWorshipStream()});
        h.start();
        h.play(onWorshipStream().stationId());
        QCOMPARE(h.api.nowPlayingIds, QStringList{u"worship"_s});

        const PersonalStation otherCopy =
            personal(u"0000000000aa"_s, u"Хвала з ноутбука"_s, onWorshipStream().url.text());
        h.c().applyLibraryStations({otherCopy});
        QCOMPARE(h.selectedId(), std::optional<QString>(otherCopy.stationId()));
        QCOMPARE(h.state().phase, PlaybackPhase::playing);

        const RadioTrack served = song(u"A"_s, u"One"_s);
        QVERIFY(h.answer(u"worship"_s, served));
        QCOMPARE(h.current(), shown(served));
        h.clock.advance(0.75);
        QCOMPARE(h.api.nowPlayingIds.size(), 3);
    }

    void streamTitleTakesTheMatchingRecentSnapshot() {
        Listening h;
        h.start(showingCatalog());
        h.play(u"worship"_s);
        const RadioTrack a =
            song(u"Artist A"_s, u"Song A"_s, u"Album A"_s, u"https://i.example/a"_s);
        const RadioTrack b = song(u"Artist B"_s, u"Song B"_s, u"Album B"_s);
        const RadioTrack bUpdated =
            song(u"Artist B"_s, u"Song B"_s, u"Album B"_s, u"https://i.example/b"_s);
        const RadioTrack c = song(u"Artist C"_s, u"Song C"_s);
        const RadioTrack d = song(u"Artist D"_s, u"Song D"_s);

        const QList<std::pair<RadioTrack, QString>> served{
            {a, u"e1"_s}, {b, u"e2"_s}, {bUpdated, u"e2"_s}, {c, u"e3"_s}};
        for (const auto& [track, event] : served) {
            QVERIFY(h.answer(u"worship"_s, track, event));
            h.clock.advance(0.75);
        }
        QCOMPARE(h.current(), shown(c));  // no stream title yet: the snapshot's track

        h.title(u"Artist A - Song A"_s);
        QCOMPARE(h.current(), shown(a));

        // A fourth event pushes the oldest out: the stream title stands alone.
        QVERIFY(h.answer(u"worship"_s, d, u"e4"_s));
        QCOMPARE(h.current(), shown(song(u"Artist A"_s, u"Song A"_s)));

        h.clock.advance(0.75);
        h.title(u"Artist B - Song B"_s);
        QCOMPARE(h.current(), shown(bUpdated));
    }

    void newestMatchingSnapshotWins() {
        Listening h;
        h.start(showingCatalog());
        h.play(u"worship"_s);
        const RadioTrack studio = song(u"Artist A"_s, u"Song A"_s, u"Studio"_s);
        const RadioTrack live = song(u"Artist A"_s, u"Song A"_s, u"Live"_s);
        QVERIFY(h.answer(u"worship"_s, studio, u"e1"_s));
        h.clock.advance(0.75);
        QVERIFY(h.answer(u"worship"_s, live, u"e2"_s));
        h.clock.advance(0.75);
        QVERIFY(h.answer(u"worship"_s, song(u"Artist B"_s, u"Song B"_s), u"e3"_s));
        h.title(u"Artist A - Song A"_s);
        QCOMPARE(h.current(), shown(live));
    }

    void emptyTitleGrace_data() {
        QTest::addColumn<bool>("serverData");
        QTest::addColumn<bool>("held");
        QTest::newRow("personal stream without server data: held") << false << true;
        QTest::newRow("personal stream with server data: cleared") << true << false;
    }

    void emptyTitleGrace() {
        QFETCH(bool, serverData);
        QFETCH(bool, held);
        Listening h;
        const PersonalStation station = serverData ? onWorshipStream() : jazzStation();
        h.storePersonal({station});
        h.start();
        h.c().startMonitoring();
        h.play(station.stationId());
        h.title(u"A - One"_s);
        const QString one = shown(song(u"A"_s, u"One"_s));
        QCOMPARE(h.current(), one);

        h.title(QString());
        if (!held) {
            QCOMPARE(h.current(), u"none"_s);
            return;
        }
        QCOMPARE(h.current(), one);
        h.title(u"   "_s);  // still empty: the grace is not restarted
        h.clock.advance(9.5);
        QCOMPARE(h.current(), one);
        h.clock.advance(0.5);
        QCOMPARE(h.current(), u"none"_s);

        // A title during the grace ends it.
        h.title(u"B - Two"_s);
        h.title(QString());
        h.clock.advance(5.0);
        h.title(u"C - Three"_s);
        h.clock.advance(8.0);
        QCOMPARE(h.current(), shown(song(u"C"_s, u"Three"_s)));
    }

    void streamAnnouncingItsNameShowsTheOutsideTrack_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("outsideTrack");
        QTest::newRow("the station's own name") << u"Релакс"_s << true;
        QTest::newRow("another bare title") << u"Jingle"_s << false;
    }

    void streamAnnouncingItsNameShowsTheOutsideTrack() {
        QFETCH(QString, title);
        QFETCH(bool, outsideTrack);
        Listening h;
        h.storePersonal({relaxStation()});
        PlaybackCoordinator::Options options;
        options.websiteMetadataID = relaxFeed();
        h.start(std::move(options));
        h.play(relaxStation().stationId());
        const RadioTrack fromFeed = song(u"Feed Artist"_s, u"Feed Song"_s);
        QVERIFY(h.answer(u"website:relax"_s, fromFeed));

        h.title(title);
        QCOMPARE(h.current(), outsideTrack ? shown(fromFeed) : shown(bareTitle(title)));
    }

    void resumeHoldsTheOldTrack_data() {
        QTest::addColumn<QString>("news");
        QTest::addColumn<bool>("keepsOld");
        QTest::newRow("same song without cover") << u"Artist A - Song A"_s << true;
        QTest::newRow("another song") << u"Artist Z - Other"_s << false;
    }

    void resumeHoldsTheOldTrack() {
        QFETCH(QString, news);
        QFETCH(bool, keepsOld);
        Listening h;
        h.start(showingCatalog());
        h.c().startMonitoring();
        h.play(u"worship"_s);
        const RadioTrack old =
            song(u"Artist A"_s, u"Song A"_s, u"Album"_s, u"https://img.example/a.jpg"_s);
        QVERIFY(h.answer(u"worship"_s, old, u"e1"_s));
        QCOMPARE(h.current(), shown(old));

        h.c().pause(PauseReason::user);
        QCOMPARE(h.current(), shown(old));
        h.c().play();
        h.engine.report(EngineEvent::playing(), h.state().generation);
        QCOMPARE(h.current(), shown(old));
        h.clock.advance(28.5);  // nothing new: ticks keep the old track
        QCOMPARE(h.current(), shown(old));

        h.title(news);
        QCOMPARE(h.current(), keepsOld ? shown(old) : shown(RadioTrack::fromStreamTitle(news)));
    }

    void resumeHoldEndsAfterThirtySeconds() {
        Listening h;
        h.start(showingCatalog());
        h.c().startMonitoring();
        h.play(u"worship"_s);
        QVERIFY(h.answer(u"worship"_s, song(u"A"_s, u"One"_s)));
        h.c().pause(PauseReason::user);
        h.c().play();
        h.engine.report(EngineEvent::playing(), h.state().generation);
        h.clock.advance(29.5);
        QCOMPARE(h.current(), shown(song(u"A"_s, u"One"_s)));
        h.clock.advance(1.0);
        QCOMPARE(h.current(), u"none"_s);
    }

    void quickTitleChangesSearchOnce() {
        Listening h;
        FakeArtworkSearch search;
        h.storePersonal({jazzStation()});
        PlaybackCoordinator::Options options;
        options.stationArtworkSearch = search.stationHook();
        h.start(std::move(options));
        h.play(jazzStation().stationId());

        h.title(u"A - One"_s);
        h.clock.advance(0.2);
        h.title(u"B - Two"_s);
        h.clock.advance(0.25);
        QVERIFY(search.calls.empty());
        h.clock.advance(0.1);
        QCOMPARE(search.calls.size(), size_t(1));
        QCOMPARE(shown(search.calls[0]->track), shown(song(u"B"_s, u"Two"_s)));
        QCOMPARE(search.calls[0]->stationId, jazzStation().stationId());

        const RadioTrack found = song(u"B"_s, u"Two"_s, u"Album"_s, u"https://img.example/b.jpg"_s);
        search.answer(0, found);
        QCOMPARE(h.current(), shown(found));
        QCOMPARE(h.c().currentArtworkURL(), found.artworkUrl);
    }

    void searchLeftBehindByANewTitleIsDropped() {
        Listening h;
        FakeArtworkSearch search;
        search.honoursCancellation = false;
        h.storePersonal({jazzStation()});
        PlaybackCoordinator::Options options;
        options.stationArtworkSearch = search.stationHook();
        h.start(std::move(options));
        h.play(jazzStation().stationId());

        h.title(u"A - One"_s);
        h.clock.advance(0.3);
        QCOMPARE(search.calls.size(), size_t(1));
        h.title(u"B - Two"_s);
        QVERIFY(search.calls[0]->token.isCancelled());
        h.clock.advance(0.3);
        QCOMPARE(search.calls.size(), size_t(2));

        search.answer(0, song(u"A"_s, u"One"_s, {}, u"https://img.example/a.jpg"_s));
        QCOMPARE(h.current(), shown(song(u"B"_s, u"Two"_s)));
        search.answer(1, std::nullopt);
        QCOMPARE(h.current(), shown(song(u"B"_s, u"Two"_s)));
    }

    void querySearchIsPreferredAndSeesTheQuery() {
        Listening h;
        FakeArtworkSearch byQuery;
        FakeArtworkSearch byStation;
        h.storePersonal({jazzStation()});
        PlaybackCoordinator::Options options;
        options.artworkSearch = byQuery.queryHook();
        options.stationArtworkSearch = byStation.stationHook();
        h.start(std::move(options));
        h.play(jazzStation().stationId());
        h.title(u"A - One"_s);
        h.clock.advance(0.3);

        QVERIFY(byStation.calls.empty());
        QCOMPARE(byQuery.calls.size(), size_t(1));
        const PlaybackCoordinator::ArtworkQuery expected{
            jazzStation().stationId(), address(jazzAddress), song(u"A"_s, u"One"_s)};
        QVERIFY(byQuery.calls[0]->query == expected);
    }

    void tracksWithCoverOrWithoutArtistAreNotSearched() {
        Listening h;
        FakeArtworkSearch search;
        h.storePersonal({jazzStation()});
        PlaybackCoordinator::Options options;
        options.stationArtworkSearch = search.stationHook();
        h.start(std::move(options));
        h.play(jazzStation().stationId());
        h.title(u"Only a title"_s);
        h.clock.advance(1.0);
        QVERIFY(search.calls.empty());
        QCOMPARE(h.c().currentArtworkURL(), std::optional<QUrl>());
    }

    // A search that found nothing waits a minute before the same track is
    // searched again; another track is searched at once.
    void emptySearchIsRepeatedAfterAMinute() {
        Listening h;
        FakeArtworkSearch search;
        h.storePersonal({jazzStation()});
        PlaybackCoordinator::Options options;
        options.stationArtworkSearch = search.stationHook();
        h.start(std::move(options));
        h.c().startMonitoring();
        h.play(jazzStation().stationId());

        h.title(u"A - One"_s);
        h.clock.advance(0.3);
        QCOMPARE(search.calls.size(), size_t(1));
        search.answer(0, std::nullopt);
        h.clock.advance(59.0);
        QCOMPARE(search.calls.size(), size_t(1));
        h.clock.advance(2.1);  // the first tick after the minute, then the pause
        QCOMPARE(search.calls.size(), size_t(2));
        QCOMPARE(shown(search.calls[1]->track), shown(song(u"A"_s, u"One"_s)));

        h.title(u"B - Two"_s);
        h.clock.advance(0.3);
        QCOMPARE(search.calls.size(), size_t(3));
        QVERIFY(search.calls[1]->token.isCancelled());
    }

    void refreshRepeatsAnEmptySearchAtOnce() {
        Listening h;
        FakeArtworkSearch search;
        int resets = 0;
        h.storePersonal({jazzStation()});
        PlaybackCoordinator::Options options;
        options.stationArtworkSearch = search.stationHook();
        options.resetArtworkSearch = [&](CancelToken) {
            ++resets;
            Completion<Outcome<Done>> reset;
            reset.complete(Done{});
            return reset.task();
        };
        h.start(std::move(options));
        h.play(jazzStation().stationId());
        h.title(u"A - One"_s);
        h.clock.advance(0.3);
        search.answer(0, std::nullopt);

        const Task<Done> refresh = h.c().reload(true);
        QVERIFY(refresh.isDone());
        QCOMPARE(resets, 1);
        QCOMPARE(h.c().artworkRevision(), 1);
        h.clock.advance(0.3);
        QCOMPARE(search.calls.size(), size_t(2));

        // With a cover on screen the refresh only reloads the pictures.
        const RadioTrack found = song(u"A"_s, u"One"_s, {}, u"https://img.example/a.jpg"_s);
        search.answer(1, found);
        QCOMPARE(h.current(), shown(found));
        const Task<Done> again = h.c().reload(true);
        QVERIFY(again.isDone());
        h.clock.advance(1.0);
        QCOMPARE(search.calls.size(), size_t(2));
        QCOMPARE(h.c().artworkRevision(), 2);
    }

    void snapshotCoversArePrefetchedOnce() {
        Listening h;
        QStringList prefetched;
        std::vector<CancelToken> tokens;
        PlaybackCoordinator::Options options = showingCatalog();
        options.prefetchImage = [&](QUrl address, CancelToken token) {
            prefetched.append(address.toString());
            tokens.push_back(token);
            return Completion<Outcome<Done>>().task();
        };
        h.start(std::move(options));
        h.play(u"worship"_s);

        const QString first = u"https://img.example/a.jpg"_s;
        const QString second = u"https://img.example/b.jpg"_s;
        QVERIFY(h.answer(u"worship"_s, song(u"A"_s, u"One"_s, {}, first), u"e1"_s));
        h.clock.advance(0.75);
        QVERIFY(h.answer(u"worship"_s, song(u"A"_s, u"One"_s, {}, first), u"e1"_s));
        QCOMPARE(prefetched, QStringList{first});
        h.clock.advance(0.75);
        QVERIFY(h.answer(u"worship"_s, song(u"B"_s, u"Two"_s, {}, second), u"e2"_s));
        QCOMPARE(prefetched, (QStringList{first, second}));
        QVERIFY(tokens[0].isCancelled());
        QVERIFY(!tokens[1].isCancelled());

        h.c().pause(PauseReason::user);
        QVERIFY(tokens[1].isCancelled());
    }

    void genreDiscovery() {
        Listening h;
        FakeStationInfo lookup;
        const PersonalStation known =
            personal(u"000000000041"_s, u"Відома"_s, u"https://known.example/live"_s);
        h.storePersonal({jazzStation(), relaxStation(), known});
        const QDateTime start = h.clock.wallNow();
        writeStationGenres(
            h.preferences,
            {{known.url.text(), StationGenreEntry{u"Rock"_s, start.addSecs(-3600), {}, true}},
             {u"https://gone.example/live"_s, StationGenreEntry{u"Pop"_s, start, {}, true}}});
        PlaybackCoordinator::Options options;
        options.stationInfoLookup = lookup.hook();
        h.start(std::move(options));
        QVERIFY(lookup.calls.empty());  // discovery starts with the monitoring

        h.c().startMonitoring();
        QCOMPARE(lookup.addresses(), QStringList{jazzAddress});
        const Task<Done> load = h.c().loadCatalog();  // asks for discovery while it runs
        QCOMPARE(lookup.calls.size(), size_t(1));

        const WebUrl logo = address(u"https://jazz.example/logo.png"_s);
        const StationGenreEntry found{u"Jazz"_s, start, logo, true};
        lookup.calls[0]->completion.complete(found);
        QCOMPARE(h.c().stations().first().subtitle, std::optional<QString>(u"Jazz"_s));
        QCOMPARE(h.c().stations().first().artworkUrl, std::optional<WebUrl>(logo));
        QCOMPARE(h.c().station()->subtitle, std::optional<QString>(u"Jazz"_s));
        const StationGenreEntries stored = readStationGenres(h.preferences);
        QCOMPARE(stored.keys(), (QStringList{jazzAddress, known.url.text()}));
        QCOMPARE(stored.value(jazzAddress), found);

        // The next station's lookup fails: it waits 15 minutes, the rest go on.
        QCOMPARE(lookup.addresses(), (QStringList{jazzAddress, relaxAddress}));
        lookup.calls[1]->completion.complete(Failure::url(UrlError::badServerResponse));
        QVERIFY(load.isDone());
        h.clock.advance(899.0);
        QVERIFY(h.c().loadCatalog().isDone());
        QCOMPARE(lookup.calls.size(), size_t(2));
        h.clock.advance(1.0);
        QVERIFY(h.c().loadCatalog().isDone());
        QCOMPARE(lookup.addresses(), (QStringList{jazzAddress, relaxAddress, relaxAddress}));
    }

    void genreLookupIsNeeded_data() {
        QTest::addColumn<bool>("hasEntry");
        QTest::addColumn<QString>("genre");  // empty: none
        QTest::addColumn<int>("ageSeconds");
        QTest::addColumn<bool>("checkedLogo");  // false: not recorded
        QTest::addColumn<bool>("logoDiscovery");
        QTest::addColumn<bool>("needed");
        const QString rock = u"Rock"_s;
        const QString noGenre;
        const bool checked = true;
        const bool notChecked = false;
        QTest::newRow("no entry") << false << rock << 0 << checked << true << true;
        QTest::newRow("genre 23 h old") << true << rock << 23 * 3600 << checked << true << false;
        QTest::newRow("genre 25 h old") << true << rock << 25 * 3600 << checked << true << true;
        QTest::newRow("no genre 5 h old")
            << true << noGenre << 5 * 3600 << checked << true << false;
        QTest::newRow("no genre 7 h old") << true << noGenre << 7 * 3600 << checked << true << true;
        QTest::newRow("entry from the future") << true << rock << -60 << checked << true << true;
        QTest::newRow("logo never looked for") << true << rock << 60 << notChecked << true << true;
        QTest::newRow("genre-only lookup ignores logos")
            << true << rock << 60 << notChecked << false << false;
    }

    void genreLookupIsNeeded() {
        QFETCH(bool, hasEntry);
        QFETCH(QString, genre);
        QFETCH(int, ageSeconds);
        QFETCH(bool, checkedLogo);
        QFETCH(bool, logoDiscovery);
        QFETCH(bool, needed);
        Listening h;
        h.storePersonal({jazzStation()});
        if (hasEntry) {
            const StationGenreEntry entry{
                genre.isEmpty() ? std::nullopt : std::optional<QString>(genre),
                h.clock.wallNow().addSecs(-ageSeconds), std::nullopt,
                checkedLogo ? std::optional<bool>(true) : std::nullopt};
            writeStationGenres(h.preferences, {{jazzAddress, entry}});
        }
        FakeStationInfo lookup;
        QStringList genreLookups;
        PlaybackCoordinator::Options options;
        if (logoDiscovery) {
            options.stationInfoLookup = lookup.hook();
        } else {
            options.genreLookup = [&](WebUrl address, CancelToken) {
                genreLookups.append(address.text());
                Completion<Outcome<std::optional<QString>>> answered;
                answered.complete(std::optional<QString>(u"Jazz"_s));
                return answered.task();
            };
        }
        h.start(std::move(options));
        h.c().startMonitoring();
        const int asked = static_cast<int>(lookup.calls.size() + genreLookups.size());
        QCOMPARE(asked, needed ? 1 : 0);
    }

    void destroyingTheCoordinatorEndsItsWork() {
        Listening h;
        FakeArtworkSearch search;
        FakeStationInfo lookup;
        h.storePersonal({onWorshipStream(), jazzStation()});
        PlaybackCoordinator::Options options;
        options.stationArtworkSearch = search.stationHook();
        options.stationInfoLookup = lookup.hook();
        h.start(std::move(options));
        h.c().startMonitoring();
        h.play(onWorshipStream().stationId());
        h.title(u"A - One"_s);
        h.clock.advance(0.3);
        QCOMPARE(h.api.nowPlayingWaiting(), 1);
        QCOMPARE(search.calls.size(), size_t(1));
        QCOMPARE(lookup.calls.size(), size_t(1));

        h.coordinator.reset();
        QCOMPARE(h.api.nowPlayingWaiting(), 0);
        QVERIFY(search.calls[0]->completion.isDone());
        QVERIFY(lookup.calls[0]->completion.isDone());
        h.clock.advance(5.0);
    }
};

QTEST_GUILESS_MAIN(CoordinatorNowPlayingTest)
#include "test_coordinator_now_playing.moc"
