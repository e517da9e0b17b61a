#pragma once

#include "nowplaying/NowPlayingSnapshot.h"
#include "nowplaying/RadioTrack.h"
#include "platform/Cancellation.h"
#include "platform/Clock.h"
#include "platform/Outcome.h"
#include "platform/PreferenceStore.h"
#include "platform/Task.h"
#include "playback/BackgroundTask.h"
#include "playback/EngineEvent.h"
#include "playback/NetworkWatch.h"
#include "playback/PhotoStore.h"
#include "playback/PlaybackEngine.h"
#include "playback/PlaybackState.h"
#include "playback/StationLibrarySync.h"
#include "playback/StationServing.h"
#include "stations/PersonalStation.h"
#include "stations/Station.h"
#include "stations/StationGenreEntry.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <type_traits>

namespace orvanta {

// Preference key of the station the listener last started.
inline const QString selectedStationPreferenceKey = QStringLiteral("selectedStationID");

// The one object between the windows and everything that plays, lists or
// describes stations. It owns the station list and the selection, the
// playback state and the current track; drives the engine and the catalog
// client; keeps the personal stations; and recovers from failures on a
// once-a-second tick. Everything runs on the main thread; background work
// comes back to it before touching any property.
//
// The observable properties are offered to QML as plain variants; C++ code
// reads the typed accessors of the same names.
class PlaybackCoordinator final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariantMap state READ stateValue NOTIFY stateChanged)
    Q_PROPERTY(bool hasStartedListening READ hasStartedListening NOTIFY hasStartedListeningChanged)
    Q_PROPERTY(QVariantList stations READ stationValues NOTIFY stationsChanged)
    Q_PROPERTY(
        QVariantList personalStations READ personalStationValues NOTIFY personalStationsChanged)
    Q_PROPERTY(QVariant station READ stationValue NOTIFY stationChanged)
    Q_PROPERTY(QVariant currentTrack READ currentTrackValue NOTIFY currentTrackChanged)
    Q_PROPERTY(QVariant listenerCount READ listenerCountValue NOTIFY listenerCountChanged)
    Q_PROPERTY(qint64 artworkRevision READ artworkRevision NOTIFY artworkRevisionChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(QVariant catalogError READ catalogErrorValue NOTIFY catalogErrorChanged)

public:
    // What an artwork search was run for; the same query is not searched twice.
    struct ArtworkQuery {
        QString stationID;
        std::optional<WebUrl> streamURL;
        RadioTrack track;

        friend bool operator==(const ArtworkQuery&, const ArtworkQuery&) = default;
    };

    // Host hooks and replaceable parts; every member may be left empty.
    struct Options {
        // Run before each connection; a failure means no audio output.
        std::function<Outcome<Done>()> activateAudio;
        // Run after a pause and when playback fails.
        std::function<void()> deactivateAudio;

        // Cover search for a track; used when present.
        std::function<Task<Outcome<std::optional<RadioTrack>>>(RadioTrack, ArtworkQuery,
                                                               CancelToken)>
            artworkSearch;
        // The outside now-playing id of a station without a catalog counterpart.
        std::function<std::optional<QString>(const Station&)> websiteMetadataID;
        // Clears the cover search's memory of misses.
        std::function<Task<Outcome<Done>>(CancelToken)> resetArtworkSearch;
        // Cover search for a track on a station; used when artworkSearch is absent.
        std::function<Task<Outcome<std::optional<RadioTrack>>>(RadioTrack, Station, CancelToken)>
            stationArtworkSearch;
        // Loads a cover into the shared image loader's caches ahead of its
        // showing; the picture itself is not wanted (see imagePrefetch in
        // ArtworkLoaderPrefetch.h). None: covers are loaded when shown.
        std::function<Task<Outcome<Done>>(QUrl, CancelToken)> prefetchImage;

        // List the catalog stations before the personal ones.
        bool showsServerStations = false;

        // The genre a stream announces; turned into genre entries without logo.
        std::function<Task<Outcome<std::optional<QString>>>(WebUrl, CancelToken)> genreLookup;
        // Genre and logo discovery for a stream; wins over genreLookup.
        std::function<Task<Outcome<StationGenreEntry>>(WebUrl, CancelToken)> stationInfoLookup;

        // Made when monitoring starts; default: the system's reachability.
        std::function<std::unique_ptr<NetworkWatch>()> makeNetworkWatch;
        // Spread of the back-off after engine failures; default: uniform in 0.9…1.1.
        std::function<double()> randomDelayScale;
        // Makes the cloud library on enableLibrarySync; none: no cloud library.
        std::function<std::unique_ptr<StationLibrarySync>(PlaybackCoordinator&, PreferenceStore&)>
            makeLibrarySync;
    };

    // Texts shown for connection and catalog problems.
    static inline const QString noNetworkMessage = QStringLiteral("Немає з’єднання з інтернетом");
    static inline const QString audioUnavailableMessage = QStringLiteral("Аудіовихід недоступний");
    static inline const QString firstCatalogLoadFailedMessage =
        QStringLiteral("Не вдалося завантажити станції. Перевірте інтернет.");
    static inline const QString catalogRefreshFailedMessage =
        QStringLiteral("Не вдалося оновити список");

    // Seconds between catalog refreshes while the list is on screen, and
    // while only playing.
    static constexpr double visibleCatalogRefreshInterval = 30.0;
    static constexpr double playingCatalogRefreshInterval = 60.0;
    // How long the previous track may stay on screen after resuming.
    static constexpr double resumeHoldSeconds = 30.0;
    // Seconds between now-playing requests; stations served by an outside
    // feed are asked less often.
    static constexpr double nowPlayingPollInterval = 0.75;
    static constexpr double outsideNowPlayingPollInterval = 10.0;
    // How long a personal stream's last title stays after it starts sending
    // empty titles.
    static constexpr double emptyTitleGraceSeconds = 10.0;
    // Recent snapshots with a track that a stream title is matched against.
    static constexpr qsizetype recentSnapshotLimit = 3;
    // Quiet time before a cover search, so quick title changes search once.
    static constexpr double artworkSearchDelay = 0.3;
    // How long a search that found nothing is not repeated for the same track.
    static constexpr double emptyArtworkSearchRetrySeconds = 60.0;
    // Least time between two genre lookups of the same stream.
    static constexpr double genreLookupSpacingSeconds = 900.0;

    // Reads the personal stations, the genre entries and the selection from
    // `preferences` and installs itself as the engine's event handler. Nothing
    // is fetched or played until asked.
    PlaybackCoordinator(PlaybackEngine& engine, StationServing& api, Clock& clock,
                        PreferenceStore& preferences, PhotoStore& photos, Options options,
                        QObject* parent = nullptr);
    PlaybackCoordinator(PlaybackEngine& engine, StationServing& api, Clock& clock,
                        PreferenceStore& preferences, PhotoStore& photos);
    ~PlaybackCoordinator() override;

    // Observable state.
    const PlaybackState& state() const { return state_; }
    bool hasStartedListening() const { return hasStartedListening_; }
    const QList<Station>& stations() const { return stations_; }
    const QList<PersonalStation>& personalStations() const { return personalStations_; }
    const std::optional<Station>& station() const { return station_; }
    const std::optional<RadioTrack>& currentTrack() const { return currentTrack_; }
    std::optional<qint64> listenerCount() const { return listenerCount_; }
    qint64 artworkRevision() const { return artworkRevision_; }
    bool isLoading() const { return isLoading_; }
    const std::optional<QString>& catalogError() const { return catalogError_; }

    // Other state.
    const QList<Station>& serverStations() const { return serverStations_; }
    bool showsServerStations() const { return showsServerStations_; }
    bool isNetworkAvailable() const { return networkAvailable_; }
    bool isMonitoring() const { return ticker_ != nullptr; }
    bool catalogIsVisible() const { return catalogIsVisible_; }
    StationLibrarySync* librarySync() const { return librarySync_.get(); }

    // Listed stations that are visible and enabled / that can be played.
    QList<Station> visibleStations() const;
    QList<Station> playableStations() const;

    // The listed form of a personal station: its photo, else the picture of
    // the catalog station playing the same stream, else a discovered logo;
    // the discovered genre as subtitle; the catalog stream's media type.
    Station listedStation(const PersonalStation& personal) const;
    // The catalog station whose now-playing data describes `station`: itself
    // for a catalog station; for a personal one the catalog (or built-in
    // Spotify) station playing the same stream, if any.
    std::optional<Station> metadataStation(const Station& station) const;
    // The id to ask for now-playing data, if the station has a source.
    std::optional<QString> metadataKey(const Station& station) const;
    // The cover to show: the track's when it names an artist, else the station's.
    std::optional<QUrl> currentArtworkURL() const;
    // Lists the catalog stations (when shown) and the personal stations again.
    void rebuildStations();

    // Transport.
    Q_INVOKABLE void select(const QString& stationId);
    Q_INVOKABLE void play();
    void pause(PauseReason reason);
    Q_INVOKABLE void toggle();
    Q_INVOKABLE void step(int offset);
    Q_INVOKABLE void setCatalogVisible(bool visible);

    // Fetches the catalog and lists it; a call while a load runs waits for
    // that load instead of starting another.
    Task<Done> loadCatalog();
    // The refresh action: reload the catalog and the now-playing data, and
    // with resetArtwork forget missed cover searches and reload all pictures.
    Task<Done> reload(bool resetArtwork);

    // Recovery: the timer and the network watch (idempotent), engine reports,
    // the once-a-second step, network changes and audio session notices.
    Q_INVOKABLE void startMonitoring();
    void handleEngineEvent(const EngineEvent& event, qint64 generation);
    void tickStep();
    void networkChanged(bool satisfied);
    void beginInterruption();
    void endInterruption(bool shouldResume, bool resumeAllowed);
    void mediaServicesReset();

    // Personal stations. Saving adds (no id) or edits a station, optionally
    // storing a new photo or dropping the old one; it returns the stored
    // record, or the validation or photo failure with nothing changed.
    Outcome<PersonalStation> savePersonalStation(std::optional<QUuid> id, const QString& title,
                                                 const QString& address,
                                                 const std::optional<QByteArray>& photo,
                                                 bool removePhoto);
    void deletePersonalStation(QUuid id);
    // Puts the named stations in the given order; a list naming an unknown
    // station or one station twice changes nothing.
    void reorderPersonalStations(const QList<QUuid>& ids);
    // Takes over the list the cloud library merged.
    void applyLibraryStations(const QList<PersonalStation>& stations);
    void enableLibrarySync();
    std::optional<Task<Outcome<Done>>> syncLibrary();

signals:
    void stateChanged();
    void hasStartedListeningChanged();
    void stationsChanged();
    void personalStationsChanged();
    void stationChanged();
    void currentTrackChanged();
    void listenerCountChanged();
    void artworkRevisionChanged();
    void isLoadingChanged();
    void catalogErrorChanged();
    // After every announced change (the host's "something changed" hook).
    void changed();

private:
    using Alive = std::weak_ptr<const bool>;

    // QML views of the observable properties.
    QVariantMap stateValue() const;
    QVariantList stationValues() const;
    QVariantList personalStationValues() const;
    QVariant stationValue() const;
    QVariant currentTrackValue() const;
    QVariant listenerCountValue() const;
    QVariant catalogErrorValue() const;

    // Setters that signal only real changes.
    template <typename Change>
    auto changeState(Change&& change);
    void setHasStartedListening(bool value);
    void setStations(QList<Station> value);
    void setPersonalStations(QList<PersonalStation> value);
    void setStation(std::optional<Station> value);
    void setCurrentTrack(std::optional<RadioTrack> value);
    void setListenerCount(std::optional<qint64> value);
    void raiseArtworkRevision();
    void setLoading(bool value);
    void setCatalogError(std::optional<QString> value);

    double now() const { return clock_.now(); }
    Alive alive() const { return alive_; }
    std::optional<QUrl> existingPhotoURL(const QString& name) const;

    // Core.
    void readStoredPersonalStations();
    void restoreSelection();
    void connect();
    void announce();
    void rememberSelection(const QString& stationId);
    Task<Done> performCatalogLoad(CancelToken token);
    void applyCatalog(const CatalogResult& result);

    // Recovery.
    double nextDelayScale() const;
    void refreshCatalogIfDue();

    // Now playing.
    void resetNowPlaying(bool keepTrack);
    void dropNowPlayingRequests();
    std::optional<QString> outsideMetadataID(const Station& station) const;
    void startMetadataPolling(const QString& stationId, qint64 generation);
    Task<Done> pollNowPlaying(QString stationId, qint64 generation, CancelToken token);
    Task<Done> fetchSnapshot(QString stationId, qint64 generation);
    void applySnapshot(const NowPlayingSnapshot& received, const QString& stationId,
                       const QString& nowPlayingId, qint64 generation);
    void takeSnapshot(const NowPlayingSnapshot& snapshot);
    void prefetchArtwork(const QUrl& address);
    void handleStreamMetadata(const StreamSongFields& fields);
    void recomputeTrack();
    std::optional<RadioTrack> chooseTrack(const QDateTime& now) const;
    std::optional<RadioTrack> resolveArtwork(std::optional<RadioTrack> track);
    Task<Done> searchArtwork(ArtworkQuery query, Station station, CancelToken token);

    // Genre and logo discovery.
    Task<Done> refreshGenres();
    Task<Done> discoverGenres(CancelToken token);
    bool needsGenreLookup(const PersonalStation& station) const;
    void storeGenreEntry(const QString& address, const StationGenreEntry& entry);

    // Personal stations.
    void storePersonalStations(QList<PersonalStation> stations);
    void requestLibrarySync();
    void deleteUnusedPhoto(const std::optional<QString>& name);
    void refreshGenresWhileMonitoring();

    // Services.
    PlaybackEngine& engine_;
    StationServing& api_;
    Clock& clock_;
    PreferenceStore& preferences_;
    PhotoStore& photos_;
    Options options_;
    const bool showsServerStations_;

    // Observable properties.
    PlaybackState state_;
    bool hasStartedListening_ = false;
    QList<Station> stations_;
    QList<PersonalStation> personalStations_;
    std::optional<Station> station_;
    std::optional<RadioTrack> currentTrack_;
    std::optional<qint64> listenerCount_;
    qint64 artworkRevision_ = 0;
    bool isLoading_ = false;
    std::optional<QString> catalogError_;

    // Catalog.
    QList<Station> serverStations_;
    Task<Done> loading_;
    double lastCatalogRefresh_ = -std::numeric_limits<double>::infinity();
    bool catalogIsVisible_ = false;

    // Recovery.
    std::unique_ptr<NetworkWatch> monitor_;
    bool networkAvailable_ = true;
    std::unique_ptr<RepeatingTimer> ticker_;

    // Now playing and cover art.
    BackgroundTask<Done> metadataTask_;
    BackgroundTask<Outcome<NowPlayingSnapshot>> metadataRequest_;
    std::optional<QString> metadataRequestKey_;
    std::optional<NowPlayingSnapshot> snapshot_;
    QList<NowPlayingSnapshot> recentSnapshots_;
    std::optional<StreamSongFields> streamSong_;
    std::optional<QDateTime> emptyStreamMetadataSince_;
    std::optional<QDateTime> resumedTrackDeadline_;
    std::optional<ArtworkQuery> artworkQuery_;
    std::optional<RadioTrack> artworkSearchResult_;
    std::optional<QDateTime> artworkSearchRetryAt_;
    BackgroundTask<Done> artworkSearchTask_;
    BackgroundTask<Outcome<Done>> artworkPrefetch_;
    std::optional<QUrl> prefetchURL_;

    // Genre and logo discovery.
    StationGenreEntries genreCache_;
    QMap<QString, QDateTime> genreAttempts_;
    BackgroundTask<Done> genreTask_;
    bool discoversStationLogos_ = false;

    // Cloud library.
    std::unique_ptr<StationLibrarySync> librarySync_;

    // Tasks and callbacks hold this weakly; it goes first when the
    // coordinator is destroyed, then `lifetime_` cancels what still runs.
    std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
    CancelSource lifetime_;
};

template <typename Change>
auto PlaybackCoordinator::changeState(Change&& change) {
    const PlaybackState before = state_;
    if constexpr (std::is_void_v<decltype(change(state_))>) {
        change(state_);
        if (!(state_ == before))
            emit stateChanged();
    } else {
        auto result = change(state_);
        if (!(state_ == before))
            emit stateChanged();
        return result;
    }
}

}  // namespace orvanta
