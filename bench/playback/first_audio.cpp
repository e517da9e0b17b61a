// Time to first audio and CPU per minute of playing, for the program's two
// paths beside mpv, gst-play-1.0 and mpg123 on the same local TLS stream.
//
// It starts icecast (a generated MP3 programme), nginx over TLS with a
// throwaway CA, and a private PulseAudio with a null sink, all on loopback.
// First audio: parec records the sink's monitor from before a player starts;
// the time is when the first 10 ms block above silence arrives. paplay of a
// local tone shows the floor of that measurement. CPU: the
// player's process tree plus PulseAudio over a minute of playing.
//   bench_first_audio CLI_PATH [RUNS] [CPU_SECONDS]
// BENCH_ONLY=NAME measures one player; BENCH_SINK overrides the program's
// GStreamer sink; BENCH_VERBOSE=1 prints what the players printed;
// BENCH_THREADS=1 prints each player thread's CPU time after its CPU run.

#include "IcecastServer.h"
#include "PulseAudioServer.h"
#include "TestCertificates.h"
#include "TestServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <sys/types.h>
#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <map>

using namespace orvanta::test;

namespace {

struct Player {
    QString name;
    QString program;
    QStringList arguments;
};

// Players run in their own process group, so that a pipeline of processes
// (curl | mpg123) stops whole and no earlier player is still heard.
void startPlayer(QProcess& process, const QProcessEnvironment& environment, const Player& player) {
    process.setProcessEnvironment(environment);
    if (qEnvironmentVariableIsSet("BENCH_VERBOSE"))
        process.setProcessChannelMode(QProcess::MergedChannels);
    process.setChildProcessModifier([] { ::setsid(); });
    process.start(player.program, player.arguments);
    process.waitForStarted();
}

void stopPlayer(QProcess& process) {
    if (process.processId() > 0)
        ::kill(-pid_t(process.processId()), SIGTERM);
    if (!process.waitForFinished(5000)) {
        ::kill(-pid_t(process.processId()), SIGKILL);
        process.waitForFinished();
    }
}

double median(std::vector<double> values) {
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Seconds from start until the monitor carries sound, or -1.
double firstAudio(const PulseAudioServer& pulse, const QProcessEnvironment& environment,
                  const Player& player) {
    QProcess recorder;
    recorder.setProcessEnvironment(pulse.environment());
    recorder.start("parec", {"-d", "orvanta_test.monitor", "--format=s16le", "--channels=2",
                             "--rate=44100", "--raw", "--latency-msec=5"});
    recorder.waitForStarted();
    QThread::msleep(300);
    recorder.readAllStandardOutput();
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    startPlayer(process, environment, player);
    const qint64 launched = clock.msecsSinceReference();
    constexpr int blockBytes = 441 * 4;  // 10 ms of 16-bit stereo
    QByteArray pending;
    double result = -1;
    while (clock.elapsed() < 15000 && result < 0) {
        recorder.waitForReadyRead(20);
        pending += recorder.readAllStandardOutput();
        while (pending.size() >= blockBytes && result < 0) {
            int peak = 0;
            for (int i = 0; i + 1 < blockBytes; i += 2) {
                const auto sample = qint16(quint8(pending[i]) | (quint8(pending[i + 1]) << 8));
                peak = std::max(peak, std::abs(int(sample)));
            }
            pending.remove(0, blockBytes);
            if (peak > 300)
                result = clock.elapsed() / 1000.0;
        }
    }
    stopPlayer(process);
    if (qEnvironmentVariableIsSet("BENCH_VERBOSE")) {
        // Against QT_MESSAGE_PATTERN="%{time boot} ..." in the player's log.
        std::fprintf(stderr, "%s, launched at %.3f, sound at %.3f: %s\n", qPrintable(player.name),
                     launched / 1000.0, launched / 1000.0 + result,
                     process.readAllStandardOutput().constData());
    }
    recorder.terminate();
    recorder.waitForFinished();
    return result;
}

// CPU seconds (user + system) of a process and its children, from /proc.
double cpuOfTree(qint64 pid) {
    double total = 0;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        const double ticks = double(sysconf(_SC_CLK_TCK));
        if (fields.size() > 14)
            total += (fields[11].toDouble() + fields[12].toDouble()) / ticks;
    }
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    if (children.open(QIODevice::ReadOnly)) {
        for (const QByteArray& child : children.readAll().split(' ')) {
            if (!child.trimmed().isEmpty())
                total += cpuOfTree(child.trimmed().toLongLong());
        }
    }
    return total;
}

double cpuPerMinute(const QProcessEnvironment& environment, const Player& player, qint64 pulsePid,
                    int seconds) {
    QProcess process;
    startPlayer(process, environment, player);
    QThread::sleep(2);  // start-up is measured above, not here
    const double pulseBefore = cpuOfTree(pulsePid);
    const double before = cpuOfTree(process.processId());
    QThread::sleep(seconds);
    const double used = cpuOfTree(process.processId()) - before + cpuOfTree(pulsePid) - pulseBefore;
    if (qEnvironmentVariableIsSet("BENCH_THREADS")) {
        // Where the player's time went, thread by thread (whole run).
        QDir tasks(QStringLiteral("/proc/%1/task").arg(process.processId()));
        for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile name(tasks.filePath(task + "/comm"));
            QFile stat(tasks.filePath(task + "/stat"));
            if (!name.open(QIODevice::ReadOnly) || !stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray text = stat.readAll();
            const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 12) {
                std::fprintf(
                    stderr, "  %-28s %.2f s\n", name.readAll().trimmed().constData(),
                    (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK)));
            }
        }
        std::fprintf(stderr, "  PulseAudio: %.2f s\n", cpuOfTree(pulsePid) - pulseBefore);
    }
    stopPlayer(process);
    return used * 60.0 / seconds;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CLI_PATH [RUNS] [CPU_SECONDS]\n", argv[0]);
        return 2;
    }
    const QString cli = QString::fromLocal8Bit(argv[1]);
    const int runs = argc > 2 ? atoi(argv[2]) : 10;
    const int cpuSeconds = argc > 3 ? atoi(argv[3]) : 20;

    const TestCertificates& certificates = TestCertificates::instance();
    IcecastServer icecast;
    NginxServer nginx;
    PulseAudioServer pulse;
    NginxServer::Options options;
    if (!icecast.start("/worship.mp3"))
        return 1;
    options.tlsServerConfig =
        QStringLiteral(
            "location = /worship { proxy_pass http://127.0.0.1:%1/worship.mp3; proxy_buffering "
            "off; }\n"
            "location /relay/ { proxy_pass http://127.0.0.1:%1/; proxy_buffering off; }\n")
            .arg(icecast.port());
    options.plainServerConfig =
        QStringLiteral(
            "location /relay/ { proxy_pass http://127.0.0.1:%1/; proxy_buffering off; }\n")
            .arg(icecast.port());
    if (!nginx.start(options) || !pulse.start())
        return 1;

    QProcessEnvironment environment = pulse.environment();
    environment.insert("ORVANTA_CA_FILE", certificates.caFile);
    environment.insert("ORVANTA_CATALOG_URL", nginx.httpsUrl("").toString());
    environment.insert("ORVANTA_AUDIO_SINK", qEnvironmentVariable("BENCH_SINK", "pulsesink"));
    const QString own = nginx.httpsUrl("/worship.mp3").toString();
    const QString relay = nginx.httpsUrl("/relay/worship.mp3").toString();
    // gst-play-1.0 trusts only the system store, which the bench leaves
    // alone: it gets the same relay over plain HTTP from the same nginx (a
    // loopback TLS handshake costs a few milliseconds).
    const QString plainRelay = nginx.httpUrl("/relay/worship.mp3").toString();
    // The floor of the measurement: a local tone file played straight into
    // PulseAudio, with no network and no decoding.
    const QString tone = QDir(QDir::tempPath()).filePath("orvanta-bench-tone.wav");
    QProcess::execute("sox", {"-n", "-r", "44100", "-c", "2", tone, "synth", "70", "sine", "440"});
    const QList<Player> players = {
        {"paplay (floor)", "paplay", {tone}},
        {"own MP3 path", cli, {"play", own, "--seconds", "60"}},
        {"platform path", cli, {"play", relay, "--seconds", "60"}},
        {"mpv",
         "mpv",
         {"--no-video", "--ao=pulse", "--really-quiet", "--tls-verify=yes",
          "--tls-ca-file=" + certificates.caFile, relay}},
        {"gst-play-1.0", "gst-play-1.0", {"-q", plainRelay}},
        {"mpg123",
         "sh",
         {"-c",
          "curl -s --cacert " + certificates.caFile + " " + relay + " | mpg123 -q -o pulse -"}},
    };

    // An idle null sink renders in blocks of up to two seconds, so whatever a
    // player sends reaches the monitor anywhere from at once to two seconds
    // later. A silent stream asking for 10 ms keeps the sink rendering in
    // small blocks while first audio is measured; the CPU runs go without it.
    QProcess keepAlive;
    keepAlive.setProcessEnvironment(pulse.environment());
    keepAlive.start("pacat", {"--latency-msec=10", "--raw", "/dev/zero"});
    keepAlive.waitForStarted();
    QThread::msleep(500);

    const QString only = qEnvironmentVariable("BENCH_ONLY");
    std::map<QString, std::vector<double>> times;
    for (int run = 0; run < runs; ++run) {
        for (const Player& player : players) {
            if (!only.isEmpty() && player.name != only)
                continue;
            const double seconds = firstAudio(pulse, environment, player);
            if (seconds >= 0)
                times[player.name].push_back(seconds);
        }
    }
    std::printf("first audio, median of %d alternating runs (s):\n", runs);
    for (const Player& player : players) {
        std::printf("  %-14s %.3f (%zu ok)\n", qPrintable(player.name), median(times[player.name]),
                    times[player.name].size());
    }
    const double mpvTime = median(times["mpv"]);
    const double gstTime = median(times["gst-play-1.0"]);
    std::printf("  own path / mpv: %.2fx; platform path / gst-play-1.0: %.2fx\n",
                median(times["own MP3 path"]) / mpvTime, median(times["platform path"]) / gstTime);

    keepAlive.terminate();
    keepAlive.waitForFinished();

    if (cpuSeconds > 0) {
        // Alternating runs as for first audio, so that a slow spell of the
        // machine falls on every player alike; the median of each.
        std::map<QString, std::vector<double>> cpuRuns;
        for (int run = 0; run < runs; ++run) {
            for (const Player& player : players) {
                if (!only.isEmpty() && player.name != only)
                    continue;
                cpuRuns[player.name].push_back(
                    cpuPerMinute(environment, player, pulse.processId(), cpuSeconds));
            }
        }
        std::printf(
            "CPU seconds per minute of playing (process tree + PulseAudio), median of %d "
            "alternating runs of %d s:\n",
            runs, cpuSeconds);
        std::map<QString, double> cpu;
        for (const Player& player : players) {
            cpu[player.name] = median(cpuRuns[player.name]);
            std::printf("  %-14s %.2f\n", qPrintable(player.name), cpu[player.name]);
        }
        std::printf("  own path / mpg123: %.2fx; own path / mpv: %.2fx\n",
                    cpu["own MP3 path"] / cpu["mpg123"], cpu["own MP3 path"] / cpu["mpv"]);
    }
    return 0;
}
