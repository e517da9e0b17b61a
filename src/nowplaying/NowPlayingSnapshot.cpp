#include "nowplaying/NowPlayingSnapshot.h"

#include "nowplaying/APIJSON.h"
#include "nowplaying/JsonFieldReader.h"

namespace orvanta {

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qint64 maximumAgeMs = 60'000;

// Fresh: not expired at `now` (strictly) and observed less than a minute
// before it. An observation stamped after `now` counts as fresh.
bool isFresh(const std::optional<QDateTime>& observedAt, const std::optional<QDateTime>& expiresAt,
             const QDateTime& now) {
    if (!observedAt || !expiresAt)
        return false;
    return *expiresAt > now && observedAt->msecsTo(now) < maximumAgeMs;
}

void insertDate(QJsonObject& object, QLatin1StringView key, const std::optional<QDateTime>& date) {
    if (date)
        object.insert(key, APIJSON::formatDate(*date));
}

}  // namespace

std::optional<RadioTrack> NowPlayingSnapshot::currentTrack(const QDateTime& now) const {
    if (status != NowPlayingStatus::current || !isFresh(observedAt, expiresAt, now))
        return std::nullopt;
    return track;
}

std::optional<qint64> NowPlayingSnapshot::currentListenerCount(const QDateTime& now) const {
    if (!listeners || listeners->status != NowPlayingStatus::current || !listeners->count ||
        *listeners->count < 0 || !isFresh(listeners->observedAt, listeners->expiresAt, now))
        return std::nullopt;
    return listeners->count;
}

QJsonObject Listeners::toJson() const {
    QJsonObject object;
    if (count)
        object.insert("count"_L1, *count);
    object.insert("status"_L1, status);
    insertDate(object, "observedAt"_L1, observedAt);
    insertDate(object, "expiresAt"_L1, expiresAt);
    return object;
}

Outcome<Listeners> Listeners::fromJson(const QJsonObject& object) {
    JsonFieldReader reader(object);
    Listeners listeners;
    listeners.count = reader.optionalInteger("count"_L1);
    listeners.status = reader.requiredText("status"_L1);
    listeners.observedAt = reader.optionalDate("observedAt"_L1);
    listeners.expiresAt = reader.optionalDate("expiresAt"_L1);
    if (reader.failure())
        return *reader.failure();
    return listeners;
}

QJsonObject NowPlayingSnapshot::toJson() const {
    QJsonObject object;
    object.insert("stationId"_L1, stationId);
    if (eventId)
        object.insert("eventId"_L1, *eventId);
    insertDate(object, "observedAt"_L1, observedAt);
    insertDate(object, "expiresAt"_L1, expiresAt);
    object.insert("status"_L1, status);
    if (track)
        object.insert("track"_L1, track->toJson());
    if (listeners)
        object.insert("listeners"_L1, listeners->toJson());
    return object;
}

Outcome<NowPlayingSnapshot> NowPlayingSnapshot::fromJson(const QJsonObject& object) {
    JsonFieldReader reader(object);
    NowPlayingSnapshot snapshot;
    snapshot.stationId = reader.requiredText("stationId"_L1);
    snapshot.eventId = reader.optionalText("eventId"_L1);
    snapshot.observedAt = reader.optionalDate("observedAt"_L1);
    snapshot.expiresAt = reader.optionalDate("expiresAt"_L1);
    snapshot.status = reader.requiredText("status"_L1);
    const std::optional<QJsonObject> track = reader.optionalObject("track"_L1);
    const std::optional<QJsonObject> listeners = reader.optionalObject("listeners"_L1);
    if (reader.failure())
        return *reader.failure();
    if (track) {
        Outcome<RadioTrack> decoded = RadioTrack::fromJson(*track);
        if (!decoded.ok())
            return decoded.propagate<NowPlayingSnapshot>();
        snapshot.track = std::move(decoded).value();
    }
    if (listeners) {
        Outcome<Listeners> decoded = Listeners::fromJson(*listeners);
        if (!decoded.ok())
            return decoded.propagate<NowPlayingSnapshot>();
        snapshot.listeners = std::move(decoded).value();
    }
    return snapshot;
}

}  // namespace orvanta
