#pragma once

#include "platform/Outcome.h"
#include "platform/PreferenceStore.h"
#include "stations/WebUrl.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <functional>
#include <optional>

namespace orvanta {

// Preference key of the stored entries: UTF-8 JSON of an object mapping each
// personal stream address (its text) to its entry.
inline const QString stationGenresPreferenceKey = QStringLiteral("stationGenres.v1");

// What one genre and logo discovery found for a personal station's stream.
struct StationGenreEntry {
    std::optional<QString> genre;  // already normalised
    QDateTime checkedAt;
    std::optional<WebUrl> logoURL;
    // True when logo discovery ran; none for genre-only lookups.
    std::optional<bool> checkedLogo;

    QJsonObject toJson() const;
    static Outcome<StationGenreEntry> fromJson(const QJsonValue& value, const QString& path = {});

    friend bool operator==(const StationGenreEntry&, const StationGenreEntry&) = default;
};

using StationGenreEntries = QMap<QString, StationGenreEntry>;

QByteArray encodeStationGenres(const StationGenreEntries& entries);
Outcome<StationGenreEntries> decodeStationGenres(const QByteArray& json);

// The stored entries; a value that cannot be read gives none at all (they
// are only a cache of lookups and are simply made again).
StationGenreEntries readStationGenres(const PreferenceStore& store);
void writeStationGenres(PreferenceStore& store, const StationGenreEntries& entries);

// The repair of damaged stream texts (RadioMetadataText::clean); passed in
// because it belongs to the now-playing subsystem, which builds on this one.
// An empty cleaner only trims.
using StreamTextCleaner = std::function<QString(const QString&)>;

// The genre to show for a raw "icy-genre" value: cleaned, white space
// collapsed to single blanks; none when nothing usable remains (empty, over
// 80 characters, control characters, angle brackets, or a placeholder such
// as "unknown" or "N/A").
std::optional<QString> normalizeGenre(const std::optional<QString>& raw,
                                      const StreamTextCleaner& clean);

// An entry with a genre stays fresh for a day, one without for six hours;
// an entry dated in the future is not fresh.
bool isFresh(const StationGenreEntry& entry, const QDateTime& now);

}  // namespace orvanta
