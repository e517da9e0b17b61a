// The catalog server's now-playing answers: the snapshot and the Spotify
// record decoders over arbitrary bytes.

#include "nowplaying/APIJSON.h"
#include "nowplaying/NowPlayingSnapshot.h"
#include "nowplaying/OrvantaSpotifyMetadata.h"

#include <QTimeZone>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvanta;
    const QByteArrayView json(reinterpret_cast<const char*>(data), qsizetype(size));
    const QDateTime now(QDate(2026, 1, 1), QTime(12, 0), QTimeZone::utc());
    if (auto snapshot = APIJSON::decode<NowPlayingSnapshot>(json); snapshot.ok()) {
        (void)snapshot->currentTrack(now);
        (void)snapshot->currentListenerCount(now);
    }
    if (auto spotify = APIJSON::decode<OrvantaSpotifyMetadata>(json); spotify.ok()) {
        (void)spotify->makeSnapshot(now).currentTrack(now);
    }
    return 0;
}
