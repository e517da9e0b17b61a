#include "playback/PlaybackCoordinator.h"

#include <QSet>

#include <algorithm>

namespace orvanta {

Task<Done> PlaybackCoordinator::refreshGenres() {
    if (!options_.stationInfoLookup)
        co_return Done{};
    const Alive alive = this->alive();
    // One discovery at a time; a second request waits for the running one.
    if (genreTask_.isRunning()) {
        const Task<Done> running = genreTask_.task;
        co_await running;
        co_return Done{};
    }
    genreTask_.restart([this](CancelToken token) { return discoverGenres(std::move(token)); });
    const Task<Done> running = genreTask_.task;
    if (running.isValid())
        co_await running;
    if (!alive.expired() && genreTask_.exists() && !genreTask_.isRunning())
        genreTask_ = {};
    co_return Done{};
}

Task<Done> PlaybackCoordinator::discoverGenres(CancelToken token) {
    const Alive alive = this->alive();
    while (!alive.expired() && !token.isCancelled()) {
        const auto next = std::find_if(
            personalStations_.cbegin(), personalStations_.cend(),
            [this](const PersonalStation& station) { return needsGenreLookup(station); });
        if (next == personalStations_.cend())
            break;
        const WebUrl address = next->url;
        // Recorded before asking, so a station whose lookup fails waits out
        // the spacing while the others go on.
        genreAttempts_.insert(address.text(), clock_.wallNow());
        const Task<Outcome<StationGenreEntry>> lookup = options_.stationInfoLookup(address, token);
        const Outcome<StationGenreEntry> found = co_await lookup;
        if (alive.expired() || token.isCancelled() || found.cancelled())
            break;
        if (found.ok())
            storeGenreEntry(address.text(), *found);
    }
    co_return Done{};
}

bool PlaybackCoordinator::needsGenreLookup(const PersonalStation& station) const {
    const QString key = station.url.text();
    const QDateTime now = clock_.wallNow();
    const auto entry = genreCache_.constFind(key);
    if (entry != genreCache_.constEnd() && isFresh(*entry, now) &&
        (!discoversStationLogos_ || entry->checkedLogo == true)) {
        return false;
    }
    const auto attempt = genreAttempts_.constFind(key);
    const qint64 spacingMs = static_cast<qint64>(genreLookupSpacingSeconds * 1000.0);
    if (attempt != genreAttempts_.constEnd() && attempt->msecsTo(now) < spacingMs)
        return false;
    return true;
}

void PlaybackCoordinator::storeGenreEntry(const QString& address, const StationGenreEntry& entry) {
    genreCache_.insert(address, entry);
    // Entries of streams no personal station plays any more are dropped, so
    // the stored cache does not grow with every address ever listened to.
    QSet<QString> addresses;
    for (const PersonalStation& station : personalStations_)
        addresses.insert(station.url.text());
    genreCache_.removeIf([&](const auto& kept) { return !addresses.contains(kept.key()); });
    writeStationGenres(preferences_, genreCache_);

    rebuildStations();
    if (station_) {
        // The selection shows the new subtitle and logo too.
        const QString selectedId = station_->id;
        const auto listed =
            std::find_if(stations_.cbegin(), stations_.cend(),
                         [&](const Station& station) { return station.id == selectedId; });
        setStation(listed == stations_.cend() ? std::nullopt : std::optional<Station>(*listed));
    }
    announce();
}

}  // namespace orvanta
