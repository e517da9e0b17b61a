#include "stations/PersonalStation.h"

#include "stations/CatalogAddress.h"
#include "stations/Graphemes.h"
#include "stations/JsonFields.h"

#include <QJsonArray>

#include <algorithm>

namespace orvanta {

namespace {

constexpr qsizetype maxTitleLength = 80;
constexpr qsizetype maxAddressLength = 4096;

bool containsWhiteSpace(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isSpace(); });
}

// The listener's address as a stored stream address, or none when it is not
// a direct https address without credentials and fragment.
std::optional<WebUrl> normalisedStreamAddress(const QString& entered) {
    const QString address = entered.trimmed();
    if (graphemeCount(address) > maxAddressLength || containsWhiteSpace(address)) {
        return std::nullopt;
    }
    std::optional<UrlComponents> components = UrlComponents::parse(address);
    if (!components)
        return std::nullopt;

    if (!components->scheme || components->scheme->toLower() != u"https")
        return std::nullopt;
    if (components->hostName().isEmpty())
        return std::nullopt;
    if (components->user || components->password || components->fragment)
        return std::nullopt;
    if (components->port && !components->port->isEmpty()) {
        const std::optional<int> port = components->portNumber();
        if (!port || *port < 1 || *port > 65535)
            return std::nullopt;
    }
    if (!WebUrl::fromComponents(*components))
        return std::nullopt;

    components->scheme = QStringLiteral("https");
    components->host = components->host->toLower();
    // "host:" with no digits means no port; dropping the colon keeps one
    // spelling per address for the duplicate rule.
    if (components->port && components->port->isEmpty())
        components->port.reset();
    return WebUrl::fromComponents(*components);
}

}  // namespace

std::variant<PersonalStation, PersonalStation::ValidationError> PersonalStation::validated(
    const QString& titleText, const QString& addressText, QUuid stationId) {
    const QString title = titleText.trimmed();
    const qsizetype titleLength = graphemeCount(title);
    if (titleLength < 1 || titleLength > maxTitleLength)
        return ValidationError::name;

    std::optional<WebUrl> url = normalisedStreamAddress(addressText);
    if (!url)
        return ValidationError::address;
    return PersonalStation(stationId, title, std::move(*url));
}

QString PersonalStation::message(ValidationError error) {
    switch (error) {
        case ValidationError::name:
            return QStringLiteral("Введіть назву станції — від 1 до 80 символів.");
        case ValidationError::address:
            return QStringLiteral(
                "Введіть пряме HTTPS-посилання на аудіопотік без логіна, пароля та фрагмента #.");
        case ValidationError::duplicate:
            return QStringLiteral("Цей потік уже є у ваших станціях.");
    }
    return {};
}

Failure PersonalStation::failure(ValidationError error) {
    return Failure{ErrorDomain::validation, static_cast<long>(error), message(error), std::nullopt};
}

QString PersonalStation::stationId() const {
    return personalStationPrefix + json::uuidText(id);
}

Station PersonalStation::asStation(const PhotoFileAddress& photoFileAddress) const {
    Station station;
    station.id = stationId();
    station.title = title;
    station.subtitle = QStringLiteral("Власна станція");
    station.sortOrder = 0;
    station.isVisible = true;
    station.isEnabled = true;
    station.stream = Station::Stream{url, QStringLiteral("audio/*"), std::nullopt};
    if (artworkFilename && photoFileAddress) {
        if (std::optional<QUrl> file = photoFileAddress(*artworkFilename)) {
            station.artworkUrl = WebUrl::fromQUrl(*file);
        }
    }
    return station;
}

QJsonObject PersonalStation::toJson() const {
    QJsonObject object{{QStringLiteral("id"), json::uuidText(id)},
                       {QStringLiteral("title"), title},
                       {QStringLiteral("url"), url.text()}};
    if (artworkFilename)
        object.insert(QStringLiteral("artworkFilename"), *artworkFilename);
    return object;
}

Outcome<PersonalStation> PersonalStation::fromJson(const QJsonValue& value, const QString& path) {
    json::Problem problem;
    std::optional<json::ObjectReader> reader = json::ObjectReader::open(value, path, problem);
    if (!reader)
        return problem.failure();
    PersonalStation station;
    if (reader->read(QStringLiteral("id"), station.id) &&
        reader->read(QStringLiteral("title"), station.title) &&
        reader->read(QStringLiteral("url"), station.url) &&
        reader->read(QStringLiteral("artworkFilename"), station.artworkFilename)) {
        return station;
    }
    return problem.failure();
}

QByteArray PersonalStation::encodeList(const QList<PersonalStation>& stations) {
    QJsonArray elements;
    for (const PersonalStation& station : stations)
        elements.append(station.toJson());
    return json::serialise(elements);
}

Outcome<QList<PersonalStation>> PersonalStation::decodeList(const QByteArray& json) {
    json::Problem problem;
    const std::optional<QJsonValue> document = json::parseDocument(json, problem);
    if (!document)
        return problem.failure();
    if (!document->isArray()) {
        problem.report({},
                       QStringLiteral("expected array, found ") + json::describeType(*document));
        return problem.failure();
    }
    const QJsonArray elements = document->toArray();
    QList<PersonalStation> stations;
    stations.reserve(elements.size());
    for (qsizetype index = 0; index < elements.size(); ++index) {
        Outcome<PersonalStation> station =
            fromJson(elements.at(index), json::indexPath(QString(), index));
        if (!station)
            return station.failure();
        stations.push_back(std::move(station).value());
    }
    return stations;
}

bool isDuplicate(const PersonalStation& candidate, const QList<PersonalStation>& stations) {
    const WebUrl candidateStream = canonicalStreamURL(candidate.url);
    return std::any_of(stations.begin(), stations.end(), [&](const PersonalStation& station) {
        return station.id != candidate.id && canonicalStreamURL(station.url) == candidateStream;
    });
}

QList<PersonalStation> readPersonalStations(PreferenceStore& store) {
    const std::optional<QByteArray> stored = store.data(personalStationsPreferenceKey);
    if (!stored)
        return {};
    Outcome<QList<PersonalStation>> stations = PersonalStation::decodeList(*stored);
    if (stations)
        return std::move(stations).value();
    store.setData(unreadablePersonalStationsPreferenceKey, *stored);
    return {};
}

void writePersonalStations(PreferenceStore& store, const QList<PersonalStation>& stations) {
    store.setData(personalStationsPreferenceKey, PersonalStation::encodeList(stations));
}

}  // namespace orvanta
