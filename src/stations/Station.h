#pragma once

#include "platform/Outcome.h"
#include "stations/WebUrl.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <optional>

namespace orvanta {

// Ids of stations made from the listener's personal stations start with this
// prefix; the catalog server may not use it.
inline const QString personalStationPrefix = QStringLiteral("personal:");

// One playable radio station as the rest of the program sees it: a catalog
// station, the built-in Spotify station or a personal station's listed form.
struct Station {
    struct Stream {
        WebUrl url;
        QString mimeType;
        std::optional<qint64> bitrateKbps;

        friend bool operator==(const Stream&, const Stream&) = default;
    };

    QString id;
    QString title;
    std::optional<QString> subtitle;
    qint64 sortOrder = 0;
    bool isVisible = false;
    bool isEnabled = false;
    std::optional<Stream> stream;
    std::optional<WebUrl> artworkUrl;
    std::optional<WebUrl> shareUrl;

    bool isPersonal() const { return id.startsWith(personalStationPrefix); }
    // The subtitle when there is one (even empty), else the personal-station
    // label for personal stations.
    std::optional<QString> displaySubtitle() const;
    // Listed, enabled, with an https stream address that has a host. The
    // scheme is compared case-sensitively on purpose: "HTTPS://" is refused.
    bool isPlayable() const;
    // The stream's identity on the catalog server (its canonical path), or
    // none for streams elsewhere.
    std::optional<QString> streamKey() const;
    // Both stations play the same catalog-server stream. Streams outside the
    // catalog server never match, not even themselves.
    bool hasSameStream(const Station& other) const;

    QJsonObject toJson() const;
    // Strict decode: every required key with the right type; `path` names
    // the value in problem reports.
    static Outcome<Station> fromJson(const QJsonValue& value, const QString& path = {});

    friend bool operator==(const Station&, const Station&) = default;
};

// The built-in Spotify station; its addresses are on the catalog server and
// the image host of this build.
const Station& spotifyStation();

// Catalog listing order: ascending sortOrder, then ascending title compared
// as Unicode scalars after canonical composition, without case folding or
// locale. `catalogOrder` is the strict "comes before" test;
// `sortInCatalogOrder` sorts stably, so stations equal in both keys keep
// their document order.
bool catalogOrder(const Station& a, const Station& b);
void sortInCatalogOrder(QList<Station>& stations);

}  // namespace orvanta
