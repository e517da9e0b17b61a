#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "nowplaying/RadioMetadataText.h"
#include "nowplaying/RadioTrack.h"

namespace orvanta::cli {

int cleanTitle(const QStringList& arguments) {
    for (const QString& input : arguments) {
        const std::optional<RadioTrack> track = RadioTrack::fromStreamTitle(input);
        printLine({{"input", input},
                   {"clean", RadioMetadataText::clean(input)},
                   {"title", textOrNull(track ? track->title : std::nullopt)},
                   {"artist", textOrNull(track ? track->artist : std::nullopt)},
                   {"displayTitle", textOrNull(track ? track->displayTitle() : std::nullopt)},
                   {"displayArtist", textOrNull(track ? track->displayArtist() : std::nullopt)}});
    }
    return 0;
}

}  // namespace orvanta::cli
