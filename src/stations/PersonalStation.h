#pragma once

#include "platform/Failure.h"
#include "platform/Outcome.h"
#include "platform/PreferenceStore.h"
#include "stations/Station.h"
#include "stations/WebUrl.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <optional>
#include <variant>

namespace orvanta {

// Preference key of the stored list: UTF-8 JSON of an array of personal
// stations, in list order.
inline const QString personalStationsPreferenceKey = QStringLiteral("personalStations.v1");
// Where a stored list that could not be read is kept, so that the next save
// does not destroy the only copy of the listener's stations.
inline const QString unreadablePersonalStationsPreferenceKey =
    QStringLiteral("personalStations.v1.unreadable");

// The address of a personal photo file for its stored file name, or none when
// the name is not a photo name (provided by the photo store).
using PhotoFileAddress = std::function<std::optional<QUrl>(const QString& fileName)>;

// A station the listener added: a name and a direct https stream address,
// optionally with a photo.
struct PersonalStation {
    enum class ValidationError { name, address, duplicate };

    QUuid id;
    QString title;
    WebUrl url;
    std::optional<QString> artworkFilename;

    // Plain creation, for records that were already validated.
    PersonalStation() = default;
    PersonalStation(QUuid stationId, QString stationTitle, WebUrl streamUrl,
                    std::optional<QString> photoFilename = std::nullopt)
        : id(stationId),
          title(std::move(stationTitle)),
          url(std::move(streamUrl)),
          artworkFilename(std::move(photoFilename)) {}

    // Validating creation from what the listener typed. The title is checked
    // before the address; the stored address has the scheme and host in
    // lower case and everything else exactly as entered. The result never
    // has a photo: the caller carries one over.
    static std::variant<PersonalStation, ValidationError> validated(
        const QString& titleText, const QString& addressText,
        QUuid stationId = QUuid::createUuid());

    // The text shown to the listener for a refusal.
    static QString message(ValidationError error);
    // A refusal as a failure of the "validation" domain, with the message.
    static Failure failure(ValidationError error);

    // "personal:" and the UUID in upper case.
    QString stationId() const;

    // The listed form every other part of the program plays and shows.
    Station asStation(const PhotoFileAddress& photoFileAddress) const;

    QJsonObject toJson() const;
    static Outcome<PersonalStation> fromJson(const QJsonValue& value, const QString& path = {});
    static QByteArray encodeList(const QList<PersonalStation>& stations);
    // The whole list or a decoding failure naming the first problem.
    static Outcome<QList<PersonalStation>> decodeList(const QByteArray& json);

    friend bool operator==(const PersonalStation&, const PersonalStation&) = default;
};

// Another station of `stations` (a different id) already plays the
// candidate's stream: equal canonical stream addresses, so the two addresses
// of a catalog programme count as one.
bool isDuplicate(const PersonalStation& candidate, const QList<PersonalStation>& stations);

// The stored list. A value that cannot be read gives an empty list; its bytes
// are first copied to the unreadable-list key so that they survive the next
// save.
QList<PersonalStation> readPersonalStations(PreferenceStore& store);
void writePersonalStations(PreferenceStore& store, const QList<PersonalStation>& stations);

}  // namespace orvanta
