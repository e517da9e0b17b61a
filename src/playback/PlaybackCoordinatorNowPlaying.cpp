#include "playback/PlaybackCoordinator.h"

#include <algorithm>

namespace orvanta {

namespace {

bool atLeastSecondsApart(const QDateTime& from, const QDateTime& to, double seconds) {
    return from.msecsTo(to) >= static_cast<qint64>(seconds * 1000.0);
}

}  // namespace

std::optional<QString> PlaybackCoordinator::outsideMetadataID(const Station& station) const {
    if (!options_.websiteMetadataID)
        return std::nullopt;
    std::optional<QString> outsideId = options_.websiteMetadataID(station);
    if (!outsideId || outsideId->isEmpty())
        return std::nullopt;
    return outsideId;
}

std::optional<QString> PlaybackCoordinator::metadataKey(const Station& station) const {
    if (std::optional<Station> catalogStation = metadataStation(station))
        return catalogStation->id;
    return outsideMetadataID(station);
}

void PlaybackCoordinator::resetNowPlaying(bool keepTrack) {
    metadataTask_.cancelAndClear();
    metadataRequest_.cancelAndClear();
    metadataRequestKey_.reset();
    resumedTrackDeadline_.reset();
    if (!keepTrack)
        setCurrentTrack(std::nullopt);
    snapshot_.reset();
    setListenerCount(std::nullopt);
    recentSnapshots_.clear();
    streamSong_.reset();
    emptyStreamMetadataSince_.reset();
    artworkPrefetch_.cancelAndClear();
    prefetchURL_.reset();
    // The artwork query, its result and its retry time outlive the reset, so
    // the same track on the same station is not searched again.
}

void PlaybackCoordinator::dropNowPlayingRequests() {
    metadataTask_.cancelAndClear();
    metadataRequest_.cancelAndClear();
    metadataRequestKey_.reset();
    snapshot_.reset();
    recentSnapshots_.clear();
}

void PlaybackCoordinator::startMetadataPolling(const QString& stationId, qint64 generation) {
    metadataTask_.restart(
        [&](CancelToken token) { return pollNowPlaying(stationId, generation, std::move(token)); });
}

Task<Done> PlaybackCoordinator::pollNowPlaying(QString stationId, qint64 generation,
                                               CancelToken token) {
    const Alive alive = this->alive();
    while (true) {
        const Task<Done> fetch = fetchSnapshot(stationId, generation);
        co_await fetch;
        if (alive.expired() || token.isCancelled())
            co_return Done{};
        // An outside feed changes slowly and is not ours to hammer.
        const bool outside = station_ && outsideMetadataID(*station_);
        const Task<Outcome<Done>> interval =
            clock_.sleep(outside ? outsideNowPlayingPollInterval : nowPlayingPollInterval, token);
        const Outcome<Done> slept = co_await interval;
        if (alive.expired() || !slept.ok())
            co_return Done{};
    }
}

Task<Done> PlaybackCoordinator::fetchSnapshot(QString stationId, qint64 generation) {
    const Alive alive = this->alive();
    if (!station_ || station_->id != stationId)
        co_return Done{};
    const std::optional<QString> nowPlayingId = metadataKey(*station_);
    if (!nowPlayingId)
        co_return Done{};
    const QString key = stationId + u'|' + *nowPlayingId + u'|' + QString::number(generation);

    // A poll, a title change and the refresh action asking about the same
    // moment of the same connection share one request. A request for any
    // other key is stale and is dropped.
    Task<Outcome<NowPlayingSnapshot>> request;
    if (metadataRequest_.exists() && metadataRequestKey_ == key) {
        request = metadataRequest_.task;
    } else {
        metadataRequest_.cancelAndClear();
        CancelSource source;
        request = api_.nowPlaying(*nowPlayingId, source.token());
        metadataRequest_ = {request, source};
        metadataRequestKey_ = key;
    }

    const Outcome<NowPlayingSnapshot> result = co_await request;
    if (alive.expired())
        co_return Done{};
    if (result.ok())
        applySnapshot(*result, stationId, *nowPlayingId, generation);
    // The next poll starts a fresh request.
    if (metadataRequestKey_ == key)
        metadataRequestKey_.reset();
    // A failure keeps the previous snapshot; the track is chosen again in
    // case it has aged out meanwhile. A cancelled request belongs to a
    // connection or station that was left: whoever cancelled it has already
    // set the display straight.
    if (result.failed())
        recomputeTrack();
    co_return Done{};
}

void PlaybackCoordinator::applySnapshot(const NowPlayingSnapshot& received,
                                        const QString& stationId, const QString& nowPlayingId,
                                        qint64 generation) {
    // The answer must still describe what is playing: the same connection,
    // the same station and the same now-playing source.
    if (!state_.accepts(generation) || !station_ || station_->id != stationId)
        return;
    if (metadataKey(*station_) != nowPlayingId || received.stationId != nowPlayingId)
        return;
    takeSnapshot(received);
    recomputeTrack();
}

void PlaybackCoordinator::takeSnapshot(const NowPlayingSnapshot& received) {
    snapshot_ = received;
    if (!received.currentTrack(clock_.wallNow()))
        return;
    // The same broadcast event is kept once, at its newest place.
    recentSnapshots_.removeIf(
        [&](const NowPlayingSnapshot& kept) { return kept.eventId == received.eventId; });
    recentSnapshots_.append(received);
    while (recentSnapshots_.size() > recentSnapshotLimit)
        recentSnapshots_.removeFirst();
    if (received.track && received.track->artworkUrl &&
        received.track->artworkUrl != prefetchURL_) {
        prefetchArtwork(*received.track->artworkUrl);
    }
}

void PlaybackCoordinator::handleStreamMetadata(const StreamSongFields& fields) {
    const std::optional<RadioTrack> newTrack = fields.track();
    // Some personal streams send an empty title between songs: the last
    // title stays until the gap has lasted a while. Stations with server
    // data are not held; their snapshots fill the gap.
    const bool hadTrack = streamSong_ && streamSong_->track();
    if (!newTrack && station_ && station_->isPersonal() && hadTrack &&
        !metadataStation(*station_)) {
        if (!emptyStreamMetadataSince_)
            emptyStreamMetadataSince_ = clock_.wallNow();
        return;
    }
    emptyStreamMetadataSince_.reset();
    if (streamSong_ == fields)
        return;
    streamSong_ = fields;
    recomputeTrack();
    // Match the new title with the server's data now rather than at the
    // next poll.
    if (station_)
        detach(fetchSnapshot(station_->id, state_.generation));
}

void PlaybackCoordinator::recomputeTrack() {
    // A paused or failed player keeps what it shows.
    if (!state_.wantsPlayback)
        return;
    const QDateTime now = clock_.wallNow();

    if (emptyStreamMetadataSince_ &&
        atLeastSecondsApart(*emptyStreamMetadataSince_, now, emptyTitleGraceSeconds)) {
        emptyStreamMetadataSince_.reset();
        streamSong_ = StreamSongFields{QString(), std::nullopt, std::nullopt};
    }

    std::optional<RadioTrack> candidate = resolveArtwork(chooseTrack(now));

    // After a resume the old track and its cover stay while nothing new is
    // known, and a cover-less report of the same song keeps the old record.
    if (resumedTrackDeadline_) {
        if (!candidate) {
            const bool streamOffersTrack = streamSong_ && streamSong_->track();
            if (now < *resumedTrackDeadline_ && !streamOffersTrack && !snapshot_)
                candidate = currentTrack_;
            else
                resumedTrackDeadline_.reset();
        } else {
            if (!candidate->artworkUrl && currentTrack_ && candidate->isSameSong(currentTrack_))
                candidate = currentTrack_;
            resumedTrackDeadline_.reset();
        }
    }

    const std::optional<qint64> listeners =
        snapshot_ ? snapshot_->currentListenerCount(now) : std::nullopt;
    const bool changed = currentTrack_ != candidate || listenerCount_ != listeners;
    setCurrentTrack(std::move(candidate));
    setListenerCount(listeners);
    if (changed)
        announce();
}

std::optional<RadioTrack> PlaybackCoordinator::chooseTrack(const QDateTime& now) const {
    const std::optional<RadioTrack> snapshotTrack =
        snapshot_ ? snapshot_->currentTrack(now) : std::nullopt;

    std::optional<RadioTrack> candidate;
    if (!streamSong_) {
        candidate = snapshotTrack;
    } else {
        const std::optional<RadioTrack> stream = streamSong_->track();
        if (stream && stream->displayArtist()) {
            // The server's record of the same song carries album and cover;
            // it may lag the stream by a song or two.
            candidate = stream;
            for (auto kept = recentSnapshots_.crbegin(); kept != recentSnapshots_.crend(); ++kept) {
                const std::optional<RadioTrack> keptTrack = kept->currentTrack(now);
                if (keptTrack && keptTrack->isSameSong(stream)) {
                    candidate = keptTrack;
                    break;
                }
            }
        } else if (snapshotTrack && snapshotTrack->isSameSong(stream)) {
            candidate = snapshotTrack;
        } else {
            candidate = stream;
        }
    }

    // A stream that only announces its own name says nothing about the
    // song; an outside feed may know it.
    if (station_) {
        const bool onlyStationName = !candidate || (!candidate->displayArtist() &&
                                                    candidate->displayTitle() == station_->title);
        if (onlyStationName && snapshotTrack && outsideMetadataID(*station_))
            candidate = snapshotTrack;
    }
    return candidate;
}

}  // namespace orvanta
