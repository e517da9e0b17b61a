#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "engine/RadioPlaybackEngine.h"
#include "platform/Clock.h"
#include "platform/PreferenceStore.h"
#include "playback/CatalogService.h"
#include "playback/PlaybackCoordinator.h"
#include "stations/StationAPI.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <unistd.h>
#include <algorithm>
#include <csignal>

namespace orvanta::cli {

namespace {

// The command never stores photos: it runs on an in-memory store and must
// not touch the listener's files.
class NoPhotos final : public PhotoStore {
public:
    std::optional<QUrl> fileURL(const QString&) const override { return std::nullopt; }
    Outcome<QString> storePhoto(const QByteArray&) override {
        return Failure::url(UrlError::cannotCreateFile);
    }
    void deletePhoto(const QString&) override {}
};

int interruptPipe[2] = {-1, -1};

void onInterrupt(int) {
    const char byte = 1;
    [[maybe_unused]] auto written = ::write(interruptPipe[1], &byte, 1);
}

}  // namespace

int play(const QStringList& arguments) {
    QString address;
    QString stationId;
    double seconds = -1;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--seconds") && i + 1 < arguments.size()) {
            seconds = arguments[++i].toDouble();
        } else if (argument == QLatin1String("--station") && i + 1 < arguments.size()) {
            stationId = arguments[++i];
        } else if (!argument.startsWith(QLatin1String("--"))) {
            address = argument;
        }
    }
    if (address.isEmpty() && stationId.isEmpty()) {
        printLine(
            errorObject(Failure::url(UrlError::badURL, "play needs an address or --station ID")));
        return 2;
    }

    Clock& clock = Clock::system();
    MemoryPreferenceStore preferences;
    NoPhotos photos;
    StationAPI api(clock);
    CatalogService catalog(api);
    std::unique_ptr<RadioPlaybackEngine> engine = RadioPlaybackEngine::makeDefault(clock);
    // Nothing here shows a spectrum, so none is computed.
    engine->setSpectrumActive(false);
    PlaybackCoordinator::Options options;
    options.showsServerStations = !stationId.isEmpty();
    PlaybackCoordinator coordinator(*engine, catalog, clock, preferences, photos, options);

    const double start = clock.now();
    QObject::connect(&coordinator, &PlaybackCoordinator::changed, [&] {
        const PlaybackState& state = coordinator.state();
        const std::optional<RadioTrack>& track = coordinator.currentTrack();
        const bool attempting = state.phase == PlaybackPhase::connecting ||
                                state.phase == PlaybackPhase::playing ||
                                state.phase == PlaybackPhase::buffering;
        printLine({{"t", clock.now() - start},
                   {"phase", rawValue(state.phase)},
                   {"attempt", qint64(state.retryAttempt)},
                   {"generation", qint64(state.generation)},
                   {"error", textOrNull(state.lastError)},
                   {"title", textOrNull(track ? track->displayTitle() : std::nullopt)},
                   {"artist", textOrNull(track ? track->displayArtist() : std::nullopt)},
                   {"path", attempting ? QJsonValue(engine->isOnLivePath() ? "live" : "platform")
                                       : QJsonValue(QJsonValue::Null)}});
    });

    coordinator.startMonitoring();
    if (stationId.isEmpty()) {
        const auto saved = coordinator.savePersonalStation(
            std::nullopt, QStringLiteral("orvanta-radio-cli"), address, std::nullopt, false);
        if (!saved) {
            printLine(errorObject(saved.failure()));
            return 1;
        }
        coordinator.select(saved->stationId());
        coordinator.play();
        detach(coordinator.loadCatalog());
    } else {
        // A catalog station is known only once the catalog has arrived.
        coordinator.loadCatalog().then(&coordinator, [&](const Done&) {
            const bool known = std::ranges::any_of(
                coordinator.stations(),
                [&](const Station& station) { return station.id == stationId; });
            if (!known) {
                // Say why nothing will play instead of idling until the end.
                const QString reason = coordinator.catalogError().value_or(
                    QStringLiteral("The catalog has no station \"%1\".").arg(stationId));
                printLine(errorObject(Failure::url(UrlError::resourceUnavailable, reason)));
                QCoreApplication::exit(1);
                return;
            }
            coordinator.select(stationId);
            coordinator.play();
        });
    }

    auto finish = [&] {
        coordinator.pause(PauseReason::user);
        QCoreApplication::exit(0);
    };
    if (::pipe(interruptPipe) == 0) {
        std::signal(SIGINT, onInterrupt);
        std::signal(SIGTERM, onInterrupt);
    }
    QSocketNotifier interrupted(interruptPipe[0], QSocketNotifier::Read);
    QObject::connect(&interrupted, &QSocketNotifier::activated, finish);
    if (seconds >= 0)
        QTimer::singleShot(int(seconds * 1000), finish);
    return QCoreApplication::exec();
}

}  // namespace orvanta::cli
