#include "stations/Station.h"

#include "platform/Deployment.h"
#include "stations/CatalogAddress.h"
#include "stations/JsonFields.h"

#include <algorithm>
#include <cassert>

namespace orvanta {

namespace {

const QString personalSubtitle = QStringLiteral("Власна станція");

std::optional<Station::Stream> decodeStream(const QJsonValue& value, const QString& path,
                                            json::Problem& problem) {
    std::optional<json::ObjectReader> reader = json::ObjectReader::open(value, path, problem);
    if (!reader)
        return std::nullopt;
    Station::Stream stream;
    if (reader->read(QStringLiteral("url"), stream.url) &&
        reader->read(QStringLiteral("mimeType"), stream.mimeType) &&
        reader->read(QStringLiteral("bitrateKbps"), stream.bitrateKbps)) {
        return stream;
    }
    return std::nullopt;
}

QJsonObject encodeStream(const Station::Stream& stream) {
    QJsonObject object{{QStringLiteral("url"), stream.url.text()},
                       {QStringLiteral("mimeType"), stream.mimeType}};
    if (stream.bitrateKbps)
        object.insert(QStringLiteral("bitrateKbps"), *stream.bitrateKbps);
    return object;
}

// Titles as Unicode scalar sequences after canonical composition, so that
// precomposed and decomposed spellings sort alike and characters beyond the
// Basic Multilingual Plane sort by their scalar value, not by UTF-16 units.
QList<uint> titleKey(const QString& title) {
    return title.normalized(QString::NormalizationForm_C).toUcs4();
}

WebUrl originWithPath(const QUrl& origin, const QString& path) {
    std::optional<WebUrl> url = WebUrl::fromQUrl(origin);
    std::optional<WebUrl> result = url ? url->withPath(path) : std::nullopt;
    // The origins are build constants (or a developer's override); an
    // unusable one is a broken build, not a runtime condition.
    assert(result);
    return result.value_or(WebUrl());
}

}  // namespace

std::optional<QString> Station::displaySubtitle() const {
    if (subtitle)
        return subtitle;
    if (isPersonal())
        return personalSubtitle;
    return std::nullopt;
}

bool Station::isPlayable() const {
    if (!isVisible || !isEnabled || !stream)
        return false;
    const UrlComponents& components = stream->url.components();
    return components.scheme == u"https" && !components.hostName().isEmpty();
}

std::optional<QString> Station::streamKey() const {
    if (!stream)
        return std::nullopt;
    std::optional<QString> path = catalogPath(canonicalStreamURL(stream->url));
    if (path == u"/spotify.mp3")
        return QStringLiteral("/spotify");
    return path;
}

bool Station::hasSameStream(const Station& other) const {
    const std::optional<QString> key = streamKey();
    return key && key == other.streamKey();
}

QJsonObject Station::toJson() const {
    QJsonObject object{{QStringLiteral("id"), id},
                       {QStringLiteral("title"), title},
                       {QStringLiteral("sortOrder"), sortOrder},
                       {QStringLiteral("isVisible"), isVisible},
                       {QStringLiteral("isEnabled"), isEnabled}};
    if (subtitle)
        object.insert(QStringLiteral("subtitle"), *subtitle);
    if (stream)
        object.insert(QStringLiteral("stream"), encodeStream(*stream));
    if (artworkUrl)
        object.insert(QStringLiteral("artworkUrl"), artworkUrl->text());
    if (shareUrl)
        object.insert(QStringLiteral("shareUrl"), shareUrl->text());
    return object;
}

Outcome<Station> Station::fromJson(const QJsonValue& value, const QString& path) {
    json::Problem problem;
    std::optional<json::ObjectReader> reader = json::ObjectReader::open(value, path, problem);
    if (!reader)
        return problem.failure();

    Station station;
    const bool complete = reader->read(QStringLiteral("id"), station.id) &&
                          reader->read(QStringLiteral("title"), station.title) &&
                          reader->read(QStringLiteral("subtitle"), station.subtitle) &&
                          reader->read(QStringLiteral("sortOrder"), station.sortOrder) &&
                          reader->read(QStringLiteral("isVisible"), station.isVisible) &&
                          reader->read(QStringLiteral("isEnabled"), station.isEnabled) &&
                          reader->read(QStringLiteral("artworkUrl"), station.artworkUrl) &&
                          reader->read(QStringLiteral("shareUrl"), station.shareUrl);
    if (!complete)
        return problem.failure();

    const QString streamKeyName = QStringLiteral("stream");
    if (reader->isPresent(streamKeyName)) {
        station.stream =
            decodeStream(reader->value(streamKeyName), reader->pathOf(streamKeyName), problem);
        if (!station.stream)
            return problem.failure();
    }
    return station;
}

const Station& spotifyStation() {
    static const Station station = [] {
        Station spotify;
        spotify.id = QStringLiteral("spotify");
        spotify.title = QStringLiteral("Spotify");
        spotify.sortOrder = 0;
        spotify.isVisible = true;
        spotify.isEnabled = true;
        spotify.stream = Station::Stream{
            originWithPath(Deployment::catalogOrigin(), QStringLiteral("/spotify.mp3")),
            QStringLiteral("audio/mpeg"), std::nullopt};
        spotify.artworkUrl =
            originWithPath(Deployment::imageOrigin(), QStringLiteral("/images/radio/spotify.jpg"));
        return spotify;
    }();
    return station;
}

bool catalogOrder(const Station& a, const Station& b) {
    if (a.sortOrder != b.sortOrder)
        return a.sortOrder < b.sortOrder;
    return titleKey(a.title) < titleKey(b.title);
}

void sortInCatalogOrder(QList<Station>& stations) {
    struct Keyed {
        qint64 sortOrder;
        QList<uint> title;
        Station station;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(stations.size());
    for (Station& station : stations) {
        keyed.push_back({station.sortOrder, titleKey(station.title), std::move(station)});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.sortOrder != b.sortOrder)
            return a.sortOrder < b.sortOrder;
        return a.title < b.title;
    });
    stations.clear();
    for (Keyed& entry : keyed)
        stations.push_back(std::move(entry.station));
}

}  // namespace orvanta
