#include "playback/PlaybackCoordinator.h"

namespace orvanta {

namespace {

QVariant optionalText(const std::optional<QString>& text) {
    return text ? QVariant(*text) : QVariant();
}

QVariant optionalAddress(const std::optional<QUrl>& address) {
    return address ? QVariant(address->toString(QUrl::FullyEncoded)) : QVariant();
}

QVariant optionalAddress(const std::optional<WebUrl>& address) {
    return address ? QVariant(address->text()) : QVariant();
}

QVariantMap stationMap(const Station& station) {
    return {
        {QStringLiteral("id"), station.id},
        {QStringLiteral("title"), station.title},
        {QStringLiteral("subtitle"), optionalText(station.displaySubtitle())},
        {QStringLiteral("isPersonal"), station.isPersonal()},
        {QStringLiteral("isPlayable"), station.isPlayable()},
        {QStringLiteral("streamUrl"),
         station.stream ? QVariant(station.stream->url.text()) : QVariant()},
        {QStringLiteral("artworkUrl"), optionalAddress(station.artworkUrl)},
        {QStringLiteral("shareUrl"), optionalAddress(station.shareUrl)},
    };
}

}  // namespace

QVariantMap PlaybackCoordinator::stateValue() const {
    return {
        {QStringLiteral("phase"), rawValue(state_.phase)},
        {QStringLiteral("wantsPlayback"), state_.wantsPlayback},
        {QStringLiteral("generation"), static_cast<qlonglong>(state_.generation)},
        {QStringLiteral("retryAttempt"), static_cast<qlonglong>(state_.retryAttempt)},
        {QStringLiteral("pauseReason"),
         state_.pauseReason ? QVariant(name(*state_.pauseReason)) : QVariant()},
        {QStringLiteral("lastError"), optionalText(state_.lastError)},
    };
}

QVariantList PlaybackCoordinator::stationValues() const {
    QVariantList values;
    for (const Station& station : stations_)
        values.append(stationMap(station));
    return values;
}

QVariantList PlaybackCoordinator::personalStationValues() const {
    QVariantList values;
    for (const PersonalStation& station : personalStations_) {
        values.append(QVariantMap{
            {QStringLiteral("id"), station.id.toString(QUuid::WithoutBraces).toUpper()},
            {QStringLiteral("stationId"), station.stationId()},
            {QStringLiteral("title"), station.title},
            {QStringLiteral("url"), station.url.text()},
            {QStringLiteral("artworkFilename"), optionalText(station.artworkFilename)},
        });
    }
    return values;
}

QVariant PlaybackCoordinator::stationValue() const {
    return station_ ? QVariant(stationMap(*station_)) : QVariant();
}

QVariant PlaybackCoordinator::currentTrackValue() const {
    if (!currentTrack_)
        return {};
    return QVariantMap{
        {QStringLiteral("title"), optionalText(currentTrack_->displayTitle())},
        {QStringLiteral("artist"), optionalText(currentTrack_->displayArtist())},
        {QStringLiteral("album"), optionalText(currentTrack_->displayAlbum())},
        {QStringLiteral("artworkUrl"), optionalAddress(currentTrack_->artworkUrl)},
        {QStringLiteral("storeURL"), optionalAddress(currentTrack_->storeURL)},
    };
}

QVariant PlaybackCoordinator::listenerCountValue() const {
    return listenerCount_ ? QVariant(*listenerCount_) : QVariant();
}

QVariant PlaybackCoordinator::catalogErrorValue() const {
    return optionalText(catalogError_);
}

void PlaybackCoordinator::setHasStartedListening(bool value) {
    if (hasStartedListening_ == value)
        return;
    hasStartedListening_ = value;
    emit hasStartedListeningChanged();
}

void PlaybackCoordinator::setStations(QList<Station> value) {
    if (stations_ == value)
        return;
    stations_ = std::move(value);
    emit stationsChanged();
}

void PlaybackCoordinator::setPersonalStations(QList<PersonalStation> value) {
    if (personalStations_ == value)
        return;
    personalStations_ = std::move(value);
    emit personalStationsChanged();
}

void PlaybackCoordinator::setStation(std::optional<Station> value) {
    if (station_ == value)
        return;
    station_ = std::move(value);
    emit stationChanged();
}

void PlaybackCoordinator::setCurrentTrack(std::optional<RadioTrack> value) {
    if (currentTrack_ == value)
        return;
    currentTrack_ = std::move(value);
    emit currentTrackChanged();
}

void PlaybackCoordinator::setListenerCount(std::optional<qint64> value) {
    if (listenerCount_ == value)
        return;
    listenerCount_ = value;
    emit listenerCountChanged();
}

void PlaybackCoordinator::raiseArtworkRevision() {
    ++artworkRevision_;
    emit artworkRevisionChanged();
}

void PlaybackCoordinator::setLoading(bool value) {
    if (isLoading_ == value)
        return;
    isLoading_ = value;
    emit isLoadingChanged();
}

void PlaybackCoordinator::setCatalogError(std::optional<QString> value) {
    if (catalogError_ == value)
        return;
    catalogError_ = std::move(value);
    emit catalogErrorChanged();
}

}  // namespace orvanta
