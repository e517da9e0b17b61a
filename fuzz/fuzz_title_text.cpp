// The title repair functions over arbitrary text: the bytes are read as
// UTF-8 (with replacement) and, from the first byte's choice, as Latin-1, so
// that mojibake shapes are reached too.

#include "nowplaying/RadioMetadataText.h"
#include "nowplaying/RadioTrack.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const auto* bytes = reinterpret_cast<const char*>(data + 1);
    const qsizetype length = qsizetype(size - 1);
    const QString text =
        data[0] & 1 ? QString::fromLatin1(bytes, length) : QString::fromUtf8(bytes, length);
    using namespace orvanta;
    // Cleaning twice is allowed to repair further (text damaged twice), so
    // only the absence of crashes and the bounds are checked.
    const QString cleaned = RadioMetadataText::clean(RadioMetadataText::clean(text));
    if (cleaned.size() > text.size() * 2 + 8)
        std::abort();
    (void)RadioMetadataText::repairMojibake(text);
    if (auto cut = RadioMetadataText::truncatedName(text)) {
        (void)RadioMetadataText::completes(text, *cut);
    }
    (void)RadioMetadataText::comparisonKey(text);
    if (auto track = RadioTrack::fromStreamTitle(text)) {
        (void)track->displayTitle();
        (void)track->displayArtist();
        (void)track->isSameSong(track);
    }
    return 0;
}
