#include "playback/EngineEvent.h"

namespace orvanta {

std::optional<RadioTrack> StreamSongFields::track() const {
    using RadioMetadataText::clean;
    const std::optional<RadioTrack> parsed =
        streamTitle ? RadioTrack::fromStreamTitle(*streamTitle) : std::nullopt;

    if (title) {
        const QString cleanTitle = clean(*title);
        if (!cleanTitle.isEmpty()) {
            RadioTrack track;
            track.title = cleanTitle;
            if (artist) {
                // An artist field wins even when it cleans to nothing.
                track.artist = clean(*artist);
            } else if (parsed && parsed->displayTitle() == cleanTitle) {
                track.artist = parsed->displayArtist();
            }
            return track;
        }
    }

    if (artist && streamTitle) {
        const QString cleanArtist = clean(*artist);
        if (!cleanArtist.isEmpty()) {
            QString text = clean(*streamTitle);
            if (text.isEmpty())
                return std::nullopt;
            const QString prefix = cleanArtist + QStringLiteral(" - ");
            if (text.startsWith(prefix))
                text = text.mid(prefix.size());
            RadioTrack track;
            track.title = text;
            track.artist = cleanArtist;
            return track;
        }
    }
    return parsed;
}

}  // namespace orvanta
