#pragma once

#include "nowplaying/RadioTrack.h"
#include "platform/Outcome.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace orvanta {

namespace NowPlayingStatus {
// The one status acted on; compared exactly.
inline const QString current = QStringLiteral("current");
inline const QString unavailable = QStringLiteral("unavailable");
}  // namespace NowPlayingStatus

// The listener block of a snapshot, with its own freshness.
struct Listeners {
    std::optional<qint64> count;
    QString status;
    std::optional<QDateTime> observedAt;
    std::optional<QDateTime> expiresAt;

    friend bool operator==(const Listeners&, const Listeners&) = default;

    QJsonObject toJson() const;
    static Outcome<Listeners> fromJson(const QJsonObject& object);
};

// What the catalog server says is on air at one station at one moment.
struct NowPlayingSnapshot {
    QString stationId;
    std::optional<QString> eventId;  // the broadcast event; never compared by rules
    std::optional<QDateTime> observedAt;
    std::optional<QDateTime> expiresAt;
    QString status;
    std::optional<RadioTrack> track;
    std::optional<Listeners> listeners;

    friend bool operator==(const NowPlayingSnapshot&, const NowPlayingSnapshot&) = default;

    // The track, when the snapshot is "current", has both dates, has not
    // expired at `now` and was observed less than 60 s before `now`. The
    // track itself may be empty even then.
    std::optional<RadioTrack> currentTrack(const QDateTime& now) const;
    // The listener count under the same rules applied to the listener block's
    // own status and dates; never negative.
    std::optional<qint64> currentListenerCount(const QDateTime& now) const;

    // JSON with RFC 3339 dates (see APIJSON); empty fields are left out.
    QJsonObject toJson() const;
    static Outcome<NowPlayingSnapshot> fromJson(const QJsonObject& object);
};

}  // namespace orvanta
