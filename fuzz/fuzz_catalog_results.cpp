// Music catalog search answers over arbitrary bytes: the Apple answer and a
// list of Deezer tracks decode whole or fail, and whatever decodes goes
// through every picker, with queries made from the answer itself (so that
// matches happen) and fixed ones in both scripts.

#include "artwork/CatalogResult.h"
#include "artwork/DeezerTrack.h"
#include "artwork/ResultPicking.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>

namespace {

using namespace orvanta;
using namespace orvanta::CatalogMatching;

void pickFrom(const QList<Result>& results, Catalog catalog) {
    QList<RadioTrack> queries{
        RadioTrack{u"Обійми"_qs, u"Океан Ельзи"_qs, {}, {}, {}},
        RadioTrack{u"Song (Radio Edit)"_qs, u"Artist feat. Guest"_qs, {}, {}, {}},
    };
    for (const Result& result : results.first(std::min<qsizetype>(results.size(), 3)))
        queries.append(RadioTrack{result.trackName, result.artistName, {}, {}, {}});
    for (const RadioTrack& query : queries) {
        (void)CatalogMatching::pickResult(results, query, catalog);
        (void)CatalogMatching::crossScriptMatch(results, query, catalog);
        (void)CatalogMatching::pickUnedited(results, query, catalog);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvanta;
    using namespace orvanta::CatalogMatching;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (auto results = decodeITunesResults(bytes); results.ok())
        pickFrom(*results, Catalog::apple);

    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    QList<Result> tracks;
    for (const QJsonValue& entry : document.object().value(u"data"_qs).toArray()) {
        if (auto track = DeezerTrack::fromJson(entry.toObject()); track.ok())
            tracks.append(Result::fromDeezer(*track));
    }
    pickFrom(tracks, Catalog::deezer);
    return 0;
}
