#pragma once

// Stand-ins for the coordinator's services and a harness that wires them, so
// that coordinator tests drive the engine, the catalog client, the network
// and the clock by hand.

#include "ManualClock.h"
#include "PlaybackStatePrinting.h"
#include "TemporaryHome.h"
#include "platform/Deployment.h"
#include "platform/PreferenceStore.h"
#include "playback/PersonalArtworkPhotoStore.h"
#include "playback/PlaybackCoordinator.h"
#include "stations/PersonalStation.h"

#include <QBuffer>
#include <QColor>
#include <QFileInfo>
#include <QImage>
#include <QStringList>
#include <QTest>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>

namespace orvanta::test {

// Records what the coordinator asks of the engine and lets the test report
// events under any generation.
class FakePlaybackEngine final : public PlaybackEngine {
public:
    struct Play {
        QString url;
        qint64 generation = 0;
        friend bool operator==(const Play&, const Play&) = default;
    };

    float volume() const override { return volume_; }
    void setVolume(float volume) override { volume_ = clampedVolume(volume); }
    bool isMuted() const override { return muted_; }
    void setMuted(bool muted) override { muted_ = muted; }
    const EventHandler& onEvent() const override { return handler_; }
    void setOnEvent(EventHandler handler) override { handler_ = std::move(handler); }
    std::shared_ptr<AudioSpectrumBuffer> spectrum() const override { return nullptr; }

    void play(const WebUrl& url, qint64 generation) override {
        plays.append({url.text(), generation});
        calls.append(QStringLiteral("play"));
    }
    void stop() override { calls.append(QStringLiteral("stop")); }
    void resetPlayer() override { calls.append(QStringLiteral("resetPlayer")); }
    void checkProgress() override { ++progressChecks; }
    void setSpectrumActive(bool) override {}

    void report(const EngineEvent& event, qint64 generation) {
        if (handler_)
            handler_(event, generation);
    }
    int count(const QString& call) const { return static_cast<int>(calls.count(call)); }
    void forget() {
        calls.clear();
        plays.clear();
        progressChecks = 0;
    }

    QStringList calls;  // play, stop, resetPlayer in order
    QList<Play> plays;
    int progressChecks = 0;

private:
    float volume_ = 1.0f;
    bool muted_ = false;
    EventHandler handler_;
};

// A catalog client whose answers the test hands out one by one.
class FakeStationServing final : public StationServing {
public:
    Task<Outcome<CatalogResult>> fetchCatalog(CancelToken token) override {
        ++fetches;
        if (autoAnswer) {
            Completion<Outcome<CatalogResult>> answered;
            answered.complete(*autoAnswer);
            return answered.task();
        }
        auto request = std::make_shared<Request>();
        request->registration = token.onCancel(
            [completion = request->completion] { completion.complete(Cancelled{}); });
        pending.push_back(request);
        return request->completion.task();
    }
    // Waits for the test's answer (answerNowPlaying) unless nowPlayingAnswer
    // is set; honours cancellation unless told not to.
    Task<Outcome<NowPlayingSnapshot>> nowPlaying(QString stationId, CancelToken token) override {
        nowPlayingIds.append(stationId);
        if (nowPlayingAnswer) {
            Completion<Outcome<NowPlayingSnapshot>> answered;
            answered.complete(nowPlayingAnswer(stationId));
            return answered.task();
        }
        auto request = std::make_shared<NowPlayingRequest>();
        request->stationId = stationId;
        if (honoursCancellation) {
            request->registration = token.onCancel(
                [completion = request->completion] { completion.complete(Cancelled{}); });
        }
        nowPlayingPending.push_back(request);
        return request->completion.task();
    }

    // Finishes the oldest waiting fetch; false when none waits.
    bool answer(Outcome<CatalogResult> outcome) {
        if (pending.empty())
            return false;
        auto request = pending.front();
        pending.pop_front();
        request->completion.complete(std::move(outcome));
        return true;
    }
    int waiting() const { return static_cast<int>(pending.size()); }

    // Finishes the oldest now-playing request that is still open (cancelled
    // ones have finished already); false when none is open.
    bool answerNowPlaying(Outcome<NowPlayingSnapshot> outcome) {
        while (!nowPlayingPending.empty()) {
            auto request = nowPlayingPending.front();
            nowPlayingPending.pop_front();
            if (request->completion.complete(outcome))
                return true;
        }
        return false;
    }
    int nowPlayingWaiting() const {
        return static_cast<int>(
            std::count_if(nowPlayingPending.begin(), nowPlayingPending.end(),
                          [](const auto& request) { return !request->completion.isDone(); }));
    }

    int fetches = 0;
    // When set, every fetch is answered with it at once.
    std::optional<Outcome<CatalogResult>> autoAnswer;
    // Every now-playing id asked for, in order.
    QStringList nowPlayingIds;
    // When set, every now-playing request is answered with its result at once.
    std::function<Outcome<NowPlayingSnapshot>(const QString&)> nowPlayingAnswer;
    // A client that answers even after being cancelled.
    bool honoursCancellation = true;

private:
    struct NowPlayingRequest {
        QString stationId;
        Completion<Outcome<NowPlayingSnapshot>> completion;
        CancelRegistration registration;
    };
    std::deque<std::shared_ptr<NowPlayingRequest>> nowPlayingPending;
    struct Request {
        Completion<Outcome<CatalogResult>> completion;
        CancelRegistration registration;
    };
    std::deque<std::shared_ptr<Request>> pending;
};

class FakeNetworkWatch final : public NetworkWatch {
public:
    explicit FakeNetworkWatch(bool reachable) : reachable_(reachable) {}
    bool isReachable() const override { return reachable_; }
    void setOnChange(ChangeHandler handler) override { handler_ = std::move(handler); }

    void set(bool reachable) {
        if (reachable == reachable_)
            return;
        reachable_ = reachable;
        if (handler_)
            handler_(reachable);
    }

private:
    bool reachable_;
    ChangeHandler handler_;
};

// The cloud library as far as the coordinator sees it: counts requests.
class FakeLibrarySync final : public StationLibrarySync {
public:
    Task<Outcome<Done>> sync() override {
        ++requests;
        Completion<Outcome<Done>> done;
        done.complete(Done{});
        return done.task();
    }
    int requests = 0;
};

// Lines of the "Playback" log category, captured while the object lives.
class PlaybackLog {
public:
    PlaybackLog() {
        current() = this;
        previous_ = qInstallMessageHandler(&PlaybackLog::handle);
    }
    ~PlaybackLog() {
        qInstallMessageHandler(previous_);
        current() = nullptr;
    }
    QStringList lines;

private:
    static PlaybackLog*& current() {
        static PlaybackLog* log = nullptr;
        return log;
    }
    static void handle(QtMsgType, const QMessageLogContext& context, const QString& message) {
        if (current() && QByteArray(context.category) == "com.orvanta.radio.Playback")
            current()->lines.append(message);
    }
    QtMessageHandler previous_ = nullptr;
};

inline WebUrl address(const QString& text) {
    std::optional<WebUrl> url = WebUrl::parse(text);
    if (!url)
        qFatal("fixture address refused: %s", qPrintable(text));
    return *url;
}

// An address on the catalog server, e.g. onCatalog("/worship").
inline QString onCatalog(const QString& path) {
    return QStringLiteral("https://") + Deployment::catalogHost() + path;
}

inline Station catalogStation(const QString& id, const QString& title, const QString& streamPath,
                              qint64 sortOrder = 0) {
    Station station;
    station.id = id;
    station.title = title;
    station.sortOrder = sortOrder;
    station.isVisible = true;
    station.isEnabled = true;
    station.stream =
        Station::Stream{address(onCatalog(streamPath)), QStringLiteral("audio/aac"), 192};
    station.artworkUrl = address(QStringLiteral("https://images.example/%1.jpg").arg(id));
    return station;
}

inline CatalogResult catalogOf(QList<Station> stations, bool isCached = false) {
    return CatalogResult{StationCatalog{1, std::move(stations)}, isCached};
}

inline PersonalStation personal(const QString& uuidTail, const QString& title, const QString& url,
                                std::optional<QString> photo = {}) {
    const QUuid id = QUuid::fromString(QStringLiteral("00000000-0000-4000-8000-") + uuidTail);
    return PersonalStation(id, title, address(url), std::move(photo));
}

// A small real JPEG, as the photo store accepts it.
inline QByteArray jpegPhoto(QColor colour = Qt::darkCyan) {
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

inline bool photoFileExists(const QString& name) {
    const std::optional<QUrl> url = PersonalArtwork::fileURL(name);
    return url && QFileInfo::exists(url->toLocalFile());
}

// Everything a coordinator needs, with the fakes reachable from the test.
struct CoordinatorHarness {
    TemporaryHome home;  // photos go to a temporary data folder
    ManualClock clock;
    MemoryPreferenceStore preferences;
    FakePlaybackEngine engine;
    FakeStationServing api;
    PersonalArtworkPhotoStore photos;
    bool startsReachable = true;
    FakeNetworkWatch* network = nullptr;  // made by startMonitoring
    FakeLibrarySync* library = nullptr;   // made by enableLibrarySync
    double delayScale = 1.0;
    std::unique_ptr<PlaybackCoordinator> coordinator;

    void storePersonal(const QList<PersonalStation>& stations) {
        preferences.setData(personalStationsPreferenceKey, PersonalStation::encodeList(stations));
    }

    PlaybackCoordinator& make(PlaybackCoordinator::Options options = {}) {
        options.makeNetworkWatch = [this] {
            auto watch = std::make_unique<FakeNetworkWatch>(startsReachable);
            network = watch.get();
            return watch;
        };
        options.randomDelayScale = [this] { return delayScale; };
        options.makeLibrarySync = [this](PlaybackCoordinator&, PreferenceStore&) {
            auto sync = std::make_unique<FakeLibrarySync>();
            library = sync.get();
            return sync;
        };
        coordinator = std::make_unique<PlaybackCoordinator>(engine, api, clock, preferences, photos,
                                                            std::move(options));
        return *coordinator;
    }

    PlaybackCoordinator& c() { return *coordinator; }
    const PlaybackState& state() const { return coordinator->state(); }
    std::optional<QString> selectedId() const {
        return coordinator->station() ? std::optional<QString>(coordinator->station()->id)
                                      : std::nullopt;
    }
    std::optional<QString> storedSelection() const {
        return preferences.text(selectedStationPreferenceKey);
    }
    QList<PersonalStation> storedPersonal() const {
        const std::optional<QByteArray> data = preferences.data(personalStationsPreferenceKey);
        if (!data)
            return {};
        Outcome<QList<PersonalStation>> decoded = PersonalStation::decodeList(*data);
        return decoded ? *decoded : QList<PersonalStation>{};
    }
    QStringList listedIds() const {
        QStringList ids;
        for (const Station& station : coordinator->stations())
            ids.append(station.id);
        return ids;
    }
};

}  // namespace orvanta::test
