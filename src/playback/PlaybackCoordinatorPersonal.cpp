#include "playback/PlaybackCoordinator.h"

#include "stations/CatalogAddress.h"

#include <QSet>

#include <algorithm>

namespace orvanta {

namespace {

const PersonalStation* findPersonal(const QList<PersonalStation>& stations, QUuid id) {
    const auto found =
        std::find_if(stations.begin(), stations.end(),
                     [&](const PersonalStation& station) { return station.id == id; });
    return found == stations.end() ? nullptr : &*found;
}

QString listedId(QUuid id) {
    return PersonalStation(id, {}, {}).stationId();
}

}  // namespace

void PlaybackCoordinator::storePersonalStations(QList<PersonalStation> stations) {
    writePersonalStations(preferences_, stations);
    setPersonalStations(std::move(stations));
    rebuildStations();
}

void PlaybackCoordinator::requestLibrarySync() {
    if (librarySync_)
        detach(librarySync_->sync());
}

void PlaybackCoordinator::deleteUnusedPhoto(const std::optional<QString>& name) {
    if (!name)
        return;
    // File names are unique per photo, but a list that came from elsewhere
    // might still name the same file twice; never delete a photo in use.
    const bool inUse = std::any_of(
        personalStations_.begin(), personalStations_.end(),
        [&](const PersonalStation& station) { return station.artworkFilename == name; });
    if (!inUse)
        photos_.deletePhoto(*name);
}

void PlaybackCoordinator::refreshGenresWhileMonitoring() {
    if (isMonitoring())
        detach(refreshGenres());
}

Outcome<PersonalStation> PlaybackCoordinator::savePersonalStation(
    std::optional<QUuid> id, const QString& title, const QString& address,
    const std::optional<QByteArray>& photo, bool removePhoto) {
    const QUuid stationId = id.value_or(QUuid::createUuid());
    auto checked = PersonalStation::validated(title, address, stationId);
    if (const auto* error = std::get_if<PersonalStation::ValidationError>(&checked))
        return PersonalStation::failure(*error);
    PersonalStation record = std::get<PersonalStation>(std::move(checked));
    if (isDuplicate(record, personalStations_))
        return PersonalStation::failure(PersonalStation::ValidationError::duplicate);

    const PersonalStation* stored = findPersonal(personalStations_, record.id);
    const std::optional<QString> previousPhoto =
        stored ? stored->artworkFilename : std::optional<QString>();
    record.artworkFilename = removePhoto ? std::nullopt : previousPhoto;
    if (photo) {
        Outcome<QString> name = photos_.storePhoto(*photo);
        if (!name.ok())
            return name.propagate<PersonalStation>();
        record.artworkFilename = *name;
    }

    QList<PersonalStation> stations = personalStations_;
    const auto place = std::find_if(stations.begin(), stations.end(),
                                    [&](const PersonalStation& s) { return s.id == record.id; });
    if (place != stations.end())
        *place = record;
    else
        stations.append(record);
    storePersonalStations(std::move(stations));
    if (previousPhoto != record.artworkFilename)
        deleteUnusedPhoto(previousPhoto);

    if (station_) {
        if (station_->id == record.stationId()) {
            const bool sameStream = station_->stream && station_->stream->url == record.url;
            if (!sameStream)
                pause(PauseReason::catalog);
            setStation(listedStation(record));
        }
    } else {
        const QList<Station> playable = playableStations();
        setStation(playable.isEmpty() ? std::nullopt : std::optional<Station>(playable.first()));
    }

    requestLibrarySync();
    announce();
    refreshGenresWhileMonitoring();
    return record;
}

void PlaybackCoordinator::deletePersonalStation(QUuid id) {
    const PersonalStation* stored = findPersonal(personalStations_, id);
    const std::optional<QString> photo = stored ? stored->artworkFilename : std::nullopt;

    QList<PersonalStation> stations;
    for (const PersonalStation& station : personalStations_) {
        if (station.id != id)
            stations.append(station);
    }
    storePersonalStations(std::move(stations));
    deleteUnusedPhoto(photo);

    if (station_ && station_->id == listedId(id)) {
        pause(PauseReason::catalog);
        setStation(std::nullopt);
        setHasStartedListening(false);
        preferences_.remove(selectedStationPreferenceKey);
    }
    requestLibrarySync();
    announce();
}

void PlaybackCoordinator::reorderPersonalStations(const QList<QUuid>& ids) {
    QSet<QUuid> named;
    for (const QUuid& id : ids) {
        if (named.contains(id) || !findPersonal(personalStations_, id))
            return;
        named.insert(id);
    }
    // The named stations take each other's places in the given order; the
    // others stay where they are. A list taken over from the cloud may hold
    // one id twice; places beyond the named ids keep their records.
    QList<PersonalStation> stations;
    qsizetype next = 0;
    for (const PersonalStation& station : personalStations_) {
        if (named.contains(station.id) && next < ids.size())
            stations.append(*findPersonal(personalStations_, ids[next++]));
        else
            stations.append(station);
    }
    if (stations == personalStations_)
        return;
    storePersonalStations(std::move(stations));
    requestLibrarySync();
    announce();
}

void PlaybackCoordinator::applyLibraryStations(const QList<PersonalStation>& stations) {
    if (stations == personalStations_)
        return;
    const QList<PersonalStation> previous = personalStations_;
    std::optional<PersonalStation> previousSelected;
    if (station_) {
        const auto found =
            std::find_if(previous.begin(), previous.end(),
                         [&](const PersonalStation& s) { return s.stationId() == station_->id; });
        if (found != previous.end())
            previousSelected = *found;
    }

    storePersonalStations(stations);

    if (previousSelected) {
        const QString previousId = station_->id;
        // Follow the selected station by its id, or else by its stream when
        // the merge kept another computer's copy of it.
        std::optional<PersonalStation> followed;
        if (const PersonalStation* same = findPersonal(stations, previousSelected->id)) {
            followed = *same;
        } else {
            const WebUrl canonical = canonicalStreamURL(previousSelected->url);
            const auto found = std::find_if(
                stations.begin(), stations.end(),
                [&](const PersonalStation& s) { return canonicalStreamURL(s.url) == canonical; });
            if (found != stations.end())
                followed = *found;
        }
        if (!followed || followed->url != previousSelected->url)
            pause(PauseReason::catalog);
        setStation(followed ? std::optional<Station>(listedStation(*followed)) : std::nullopt);
        if (station_)
            rememberSelection(station_->id);
        else
            preferences_.remove(selectedStationPreferenceKey);
        // The same stream now plays under another computer's id. Polling asks
        // by station id and would find nothing any more, so it follows along.
        if (station_ && station_->id != previousId && metadataTask_.isRunning()) {
            if (metadataKey(*station_))
                startMetadataPolling(station_->id, state_.generation);
        }
    }

    QSet<QString> kept;
    for (const PersonalStation& station : stations) {
        if (station.artworkFilename)
            kept.insert(*station.artworkFilename);
    }
    QSet<QString> removed;
    for (const PersonalStation& station : previous) {
        if (station.artworkFilename && !kept.contains(*station.artworkFilename))
            removed.insert(*station.artworkFilename);
    }
    for (const QString& name : removed)
        photos_.deletePhoto(name);

    raiseArtworkRevision();
    announce();
    refreshGenresWhileMonitoring();
}

void PlaybackCoordinator::enableLibrarySync() {
    if (librarySync_ || !options_.makeLibrarySync)
        return;
    librarySync_ = options_.makeLibrarySync(*this, preferences_);
    requestLibrarySync();
}

std::optional<Task<Outcome<Done>>> PlaybackCoordinator::syncLibrary() {
    if (!librarySync_)
        return std::nullopt;
    return librarySync_->sync();
}

}  // namespace orvanta
