#include "playback/PlaybackCoordinator.h"

#include "nowplaying/RadioMetadataText.h"
#include "platform/Logging.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace orvanta {

namespace {

// A genre-only lookup as a genre entry: dated when the answer came, no logo,
// and marked as not having looked for one.
Task<Outcome<StationGenreEntry>> genreEntryFromLookup(
    std::function<Task<Outcome<std::optional<QString>>>(WebUrl, CancelToken)> genreLookup,
    Clock* clock, WebUrl address, CancelToken token) {
    const Outcome<std::optional<QString>> genre = co_await genreLookup(address, token);
    if (!genre.ok())
        co_return genre.propagate<StationGenreEntry>();
    StationGenreEntry entry;
    entry.genre = *genre;
    entry.checkedAt = clock->wallNow();
    co_return entry;
}

const Station* findStation(const QList<Station>& stations, const QString& id) {
    const auto found = std::find_if(stations.begin(), stations.end(),
                                    [&](const Station& station) { return station.id == id; });
    return found == stations.end() ? nullptr : &*found;
}

}  // namespace

PlaybackCoordinator::PlaybackCoordinator(PlaybackEngine& engine, StationServing& api, Clock& clock,
                                         PreferenceStore& preferences, PhotoStore& photos,
                                         Options options, QObject* parent)
    : QObject(parent),
      engine_(engine),
      api_(api),
      clock_(clock),
      preferences_(preferences),
      photos_(photos),
      options_(std::move(options)),
      showsServerStations_(options_.showsServerStations) {
    discoversStationLogos_ = static_cast<bool>(options_.stationInfoLookup);
    if (!options_.stationInfoLookup && options_.genreLookup) {
        options_.stationInfoLookup = [genreLookup = options_.genreLookup, clock = &clock_](
                                         WebUrl address, CancelToken token) {
            return genreEntryFromLookup(genreLookup, clock, std::move(address), std::move(token));
        };
    }

    genreCache_ = readStationGenres(preferences_);
    readStoredPersonalStations();
    rebuildStations();
    restoreSelection();

    engine_.setOnEvent([alive = alive(), this](const EngineEvent& event, qint64 generation) {
        if (!alive.expired())
            handleEngineEvent(event, generation);
    });
}

PlaybackCoordinator::PlaybackCoordinator(PlaybackEngine& engine, StationServing& api, Clock& clock,
                                         PreferenceStore& preferences, PhotoStore& photos)
    : PlaybackCoordinator(engine, api, clock, preferences, photos, Options{}) {}

PlaybackCoordinator::~PlaybackCoordinator() {
    // Tasks resumed by the cancellation below must already see the
    // coordinator as gone.
    alive_.reset();
    lifetime_.cancel();
    metadataTask_.cancelAndClear();
    metadataRequest_.cancelAndClear();
    artworkSearchTask_.cancelAndClear();
    artworkPrefetch_.cancelAndClear();
    genreTask_.cancelAndClear();
    librarySync_.reset();
}

void PlaybackCoordinator::readStoredPersonalStations() {
    // The stored list is re-checked: an entry written by an older version or
    // another computer that no longer passes validation would otherwise be
    // offered for playback, and a repeated id would make selection ambiguous.
    QSet<QUuid> seen;
    QList<PersonalStation> kept;
    for (const PersonalStation& stored : readPersonalStations(preferences_)) {
        const bool repeated = seen.contains(stored.id);
        seen.insert(stored.id);
        if (repeated)
            continue;
        const auto checked = PersonalStation::validated(stored.title, stored.url.text(), stored.id);
        if (std::holds_alternative<PersonalStation>(checked))
            kept.append(stored);
    }
    personalStations_ = std::move(kept);
}

void PlaybackCoordinator::restoreSelection() {
    const std::optional<QString> saved = preferences_.text(selectedStationPreferenceKey);
    std::optional<Station> chosen;
    if (saved) {
        if (const Station* found = findStation(stations_, *saved))
            chosen = *found;
    }
    if (!chosen && !stations_.isEmpty())
        chosen = stations_.first();
    // A remembered catalog station is carried over to the personal station
    // playing its stream once the catalog is known.
    if (!showsServerStations_ && saved && !saved->startsWith(personalStationPrefix))
        chosen.reset();
    station_ = std::move(chosen);
}

QList<Station> PlaybackCoordinator::visibleStations() const {
    QList<Station> visible;
    for (const Station& station : stations_) {
        if (station.isVisible && station.isEnabled)
            visible.append(station);
    }
    return visible;
}

QList<Station> PlaybackCoordinator::playableStations() const {
    QList<Station> playable;
    for (const Station& station : stations_) {
        if (station.isPlayable())
            playable.append(station);
    }
    return playable;
}

std::optional<QUrl> PlaybackCoordinator::existingPhotoURL(const QString& name) const {
    std::optional<QUrl> address = photos_.fileURL(name);
    // A photo whose file is gone (removed by hand, not yet synchronised)
    // gives way to the catalog picture or the discovered logo.
    if (address && address->isLocalFile() && !QFileInfo::exists(address->toLocalFile()))
        return std::nullopt;
    return address;
}

Station PlaybackCoordinator::listedStation(const PersonalStation& personal) const {
    Station listed =
        personal.asStation([this](const QString& name) { return existingPhotoURL(name); });
    const std::optional<Station> catalogStation = metadataStation(listed);

    const auto entry = genreCache_.constFind(personal.url.text());
    const bool hasEntry = entry != genreCache_.constEnd();
    if (hasEntry) {
        if (std::optional<QString> genre = normalizeGenre(entry->genre, RadioMetadataText::clean))
            listed.subtitle = std::move(genre);
    }

    if (catalogStation && catalogStation->stream) {
        listed.stream = Station::Stream{personal.url, catalogStation->stream->mimeType,
                                        catalogStation->stream->bitrateKbps};
    } else {
        listed.stream = Station::Stream{personal.url, QStringLiteral("audio/*"), std::nullopt};
    }

    if (!listed.artworkUrl) {
        if (catalogStation && catalogStation->artworkUrl)
            listed.artworkUrl = catalogStation->artworkUrl;
        else if (hasEntry && entry->logoURL)
            listed.artworkUrl = entry->logoURL;
    }
    listed.isVisible = true;
    listed.isEnabled = true;
    return listed;
}

std::optional<Station> PlaybackCoordinator::metadataStation(const Station& station) const {
    if (!station.isPersonal())
        return station;
    for (const Station& candidate : serverStations_) {
        if (!candidate.isPersonal() && candidate.hasSameStream(station))
            return candidate;
    }
    if (spotifyStation().hasSameStream(station))
        return spotifyStation();
    return std::nullopt;
}

void PlaybackCoordinator::rebuildStations() {
    QList<Station> listed;
    if (showsServerStations_)
        listed = serverStations_;
    for (const PersonalStation& personal : personalStations_)
        listed.append(listedStation(personal));
    setStations(std::move(listed));
}

void PlaybackCoordinator::select(const QString& stationId) {
    const Station* found = findStation(stations_, stationId);
    if (!found || !found->isPlayable())
        return;
    const Station entry = *found;
    setHasStartedListening(true);
    if (station_ && station_->id == entry.id) {
        play();
        return;
    }
    engine_.stop();
    resetNowPlaying(false);
    setStation(entry);
    changeState([&](PlaybackState& state) { state.start(now()); });
    rememberSelection(entry.id);
    connect();
    announce();
}

void PlaybackCoordinator::play() {
    if (!station_ || !station_->isPlayable() || state_.wantsPlayback)
        return;
    setHasStartedListening(true);
    const bool keepTrack = state_.phase == PlaybackPhase::paused && currentTrack_.has_value();
    changeState([&](PlaybackState& state) { state.start(now()); });
    rememberSelection(station_->id);
    resetNowPlaying(keepTrack);
    if (keepTrack) {
        resumedTrackDeadline_ =
            clock_.wallNow().addMSecs(static_cast<qint64>(resumeHoldSeconds * 1000.0));
    }
    connect();
    announce();
}

void PlaybackCoordinator::pause(PauseReason reason) {
    changeState([&](PlaybackState& state) { state.pause(reason); });
    engine_.stop();
    resetNowPlaying(reason == PauseReason::user || reason == PauseReason::routeLost);
    announce();
    if (options_.deactivateAudio)
        options_.deactivateAudio();
}

void PlaybackCoordinator::toggle() {
    if (state_.wantsPlayback)
        pause(PauseReason::user);
    else
        play();
}

void PlaybackCoordinator::step(int offset) {
    const QList<Station> playable = playableStations();
    const qsizetype count = playable.size();
    if (count < 2)
        return;
    qsizetype index = 0;
    if (station_) {
        const auto found = std::find_if(playable.begin(), playable.end(),
                                        [&](const Station& s) { return s.id == station_->id; });
        if (found != playable.end())
            index = found - playable.begin();
    }
    const qsizetype target = ((index + offset) % count + count) % count;
    select(playable[target].id);
}

void PlaybackCoordinator::setCatalogVisible(bool visible) {
    catalogIsVisible_ = visible;
}

void PlaybackCoordinator::connect() {
    if (!station_ || !station_->isPlayable() || !station_->stream) {
        pause(PauseReason::catalog);
        return;
    }
    if (!networkAvailable_) {
        changeState([&](PlaybackState& state) {
            state.fail(state.generation, noNetworkMessage, false, std::nullopt, now(), 1.0);
        });
        engine_.stop();
        resetNowPlaying(false);
        announce();
        return;
    }
    if (options_.activateAudio && !options_.activateAudio().ok()) {
        changeState([&](PlaybackState& state) {
            state.fail(state.generation, audioUnavailableMessage, true, std::nullopt, now(), 1.0);
        });
        engine_.stop();
        resetNowPlaying(false);
        return;
    }
    const qint64 generation = state_.generation;
    engine_.play(station_->stream->url, generation);
    // The engine may refuse the address inside play; that failure has ended
    // this attempt already, and polling for it would show a track while
    // reconnecting (or poll on for good once failed).
    if (state_.generation != generation || !station_)
        return;
    if (metadataKey(*station_))
        startMetadataPolling(station_->id, generation);
}

void PlaybackCoordinator::announce() {
    qCInfo(lcPlayback).noquote() << QStringLiteral("phase=%1 attempt=%2 generation=%3")
                                        .arg(rawValue(state_.phase))
                                        .arg(state_.retryAttempt)
                                        .arg(state_.generation);
    if (state_.phase == PlaybackPhase::failed && options_.deactivateAudio)
        options_.deactivateAudio();
    emit changed();
}

void PlaybackCoordinator::rememberSelection(const QString& stationId) {
    preferences_.setText(selectedStationPreferenceKey, stationId);
}

}  // namespace orvanta
