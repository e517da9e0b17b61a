// The text operations of RadioTrack: what views show and how tracks from
// different sources are matched.
#include "nowplaying/RadioTrack.h"

#include "nowplaying/UnicodeText.h"

namespace orvanta {

namespace {

std::optional<QString> nonEmptyClean(const std::optional<QString>& field) {
    if (!field)
        return std::nullopt;
    QString cleaned = RadioMetadataText::clean(*field);
    if (cleaned.isEmpty())
        return std::nullopt;
    return cleaned;
}

}  // namespace

std::optional<QString> RadioTrack::displayTitle() const {
    return nonEmptyClean(title);
}

std::optional<QString> RadioTrack::displayAlbum() const {
    return nonEmptyClean(album);
}

std::optional<TruncatedName> RadioTrack::artistTruncation() const {
    if (!artist)
        return std::nullopt;
    return RadioMetadataText::truncatedName(*artist);
}

std::optional<QString> RadioTrack::displayArtist() const {
    if (std::optional<TruncatedName> cut = artistTruncation())
        return cut->prefix + QChar(0x2026);
    return nonEmptyClean(artist);
}

std::optional<RadioTrack> RadioTrack::fromStreamTitle(const QString& streamTitle) {
    const QString cleaned = RadioMetadataText::clean(streamTitle);
    if (cleaned.isEmpty())
        return std::nullopt;
    static const QString separator = QStringLiteral(" - ");
    const qsizetype at = cleaned.indexOf(separator);
    if (at >= 0) {
        const QString artist = UnicodeText::trimmed(cleaned.first(at));
        const QString title = UnicodeText::trimmed(cleaned.sliced(at + separator.size()));
        if (!artist.isEmpty() && !title.isEmpty())
            return RadioTrack{title, artist, std::nullopt, std::nullopt, std::nullopt};
    }
    return RadioTrack{cleaned, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
}

bool RadioTrack::isSameSong(const std::optional<RadioTrack>& other) const {
    using RadioMetadataText::comparisonKey;
    const std::optional<QString> ownTitle = displayTitle();
    if (!ownTitle || !other)
        return false;
    const std::optional<QString> otherTitle = other->displayTitle();
    if (!otherTitle || comparisonKey(*ownTitle) != comparisonKey(*otherTitle))
        return false;
    const std::optional<QString> otherArtist = other->displayArtist();
    if (!otherArtist)
        return true;
    const std::optional<QString> ownArtist = displayArtist();
    if (const std::optional<TruncatedName> cut = other->artistTruncation()) {
        if (ownArtist && RadioMetadataText::completes(*ownArtist, *cut))
            return true;
    }
    if (!ownArtist)
        return false;
    return comparisonKey(*ownArtist) == comparisonKey(*otherArtist);
}

}  // namespace orvanta
