// orvanta-radio-cli: the command-line front end over the program's
// libraries. It has no logic of its own.

#include "cli/Commands.h"
#include "platform/HttpSession.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

const char* const usage =
    "Usage: orvanta-radio-cli COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands (each prints one JSON object per line, UTF-8):\n"
    "  clean-title TEXT...       how in-band titles are repaired and split:\n"
    "                            {\"input\", \"clean\", \"title\", \"artist\",\n"
    "                             \"displayTitle\", \"displayArtist\"}\n"
    "  catalog [--cache FILE]    fetch the station catalog (default cache: the\n"
    "                            application's cache file):\n"
    "                            {\"isCached\", \"stations\": [{\"id\", \"title\", "
    "\"streamKey\"}]}\n"
    "                            or {\"error\": {\"code\", \"message\"}} with exit status 1\n"
    "  probe URL                 the stream check: on success\n"
    "                            {\"address\", \"finalUrl\", \"status\", \"mimeType\", "
    "\"genre\"};\n"
    "                            on failure {\"error\", \"message\", \"permanent\", "
    "\"retryAfter\"}\n"
    "                            with exit status 1\n"
    "  play URL [--seconds N]    play through the real coordinator and engine (a\n"
    "  play --station ID ...     personal station made for URL, or a catalog id);\n"
    "                            one line at every state change:\n"
    "                            {\"t\", \"phase\", \"attempt\", \"generation\", \"error\",\n"
    "                             \"title\", \"artist\", \"path\": \"live\"|\"platform\"|null};\n"
    "                            pauses and exits 0 after N seconds or on Ctrl+C;\n"
    "                            never touches stored stations or settings\n"
    "  --help                    this text\n"
    "\n"
    "Environment: ORVANTA_CATALOG_URL, ORVANTA_IMAGE_URL, ORVANTA_CA_FILE,\n"
    "ORVANTA_AUDIO_SINK, XDG_CACHE_HOME, XDG_DATA_HOME, XDG_CONFIG_HOME.\n";

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvanta-radio"));
    orvanta::installAdditionalTrust();
    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty() || arguments.first() == QLatin1String("--help") ||
        arguments.first() == QLatin1String("-h")) {
        std::fputs(usage, stdout);
        return arguments.isEmpty() ? 2 : 0;
    }
    const QString command = arguments.takeFirst();
    if (command == QLatin1String("clean-title"))
        return orvanta::cli::cleanTitle(arguments);
    if (command == QLatin1String("catalog"))
        return orvanta::cli::catalog(arguments);
    if (command == QLatin1String("probe"))
        return orvanta::cli::probe(arguments);
    if (command == QLatin1String("play"))
        return orvanta::cli::play(arguments);
    std::fprintf(stderr, "orvanta-radio-cli: unknown command \"%s\"\n\n%s", qPrintable(command),
                 usage);
    return 2;
}
