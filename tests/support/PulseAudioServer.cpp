#include "PulseAudioServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <cstdlib>

namespace orvanta::test {

PulseAudioServer::~PulseAudioServer() {
    stop();
}

QProcessEnvironment PulseAudioServer::environment(QProcessEnvironment base) const {
    base.insert("PULSE_SERVER", "unix:" + dir_.filePath("run/native"));
    return base;
}

bool PulseAudioServer::start() {
    const QString run = dir_.filePath("run");
    QDir().mkpath(run);
    QFile::setPermissions(run,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile script(dir_.filePath("default.pa"));
    if (!script.open(QIODevice::WriteOnly))
        return false;
    script.write(
        "load-module module-null-sink sink_name=orvanta_test\n"
        "load-module module-native-protocol-unix socket=" +
        dir_.filePath("run/native").toUtf8() + " auth-anonymous=1\n");
    script.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", run);
    environment.insert("HOME", dir_.path());
    daemon_ = std::make_unique<QProcess>();
    daemon_->setProcessEnvironment(environment);
    daemon_->setProcessChannelMode(QProcess::MergedChannels);
    daemon_->start("pulseaudio", {"-n", "-F", script.fileName(), "--exit-idle-time=-1",
                                  "--daemonize=no", "--disallow-exit", "--log-target=stderr"});
    if (!daemon_->waitForStarted(10000))
        return false;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        QProcess probe;
        probe.setProcessEnvironment(this->environment());
        probe.start("pactl", {"list", "short", "sinks"});
        if (probe.waitForFinished(3000) && probe.exitCode() == 0 &&
            probe.readAllStandardOutput().contains("orvanta_test")) {
            return true;
        }
        if (daemon_->state() == QProcess::NotRunning)
            return false;
        QThread::msleep(100);
    }
    return false;
}

void PulseAudioServer::stop() {
    if (!daemon_)
        return;
    daemon_->terminate();
    if (!daemon_->waitForFinished(5000)) {
        daemon_->kill();
        daemon_->waitForFinished(5000);
    }
    daemon_.reset();
}

int PulseAudioServer::peakOfMonitor(double seconds) const {
    QProcess recorder;
    recorder.setProcessEnvironment(environment());
    recorder.start("parec", {"-d", "orvanta_test.monitor", "--format=s16le", "--channels=2",
                             "--rate=44100", "--raw"});
    if (!recorder.waitForStarted(5000))
        return -1;
    QThread::msleep(static_cast<unsigned long>(seconds * 1000));
    recorder.terminate();
    recorder.waitForFinished(5000);
    const QByteArray data = recorder.readAllStandardOutput();
    int peak = 0;
    for (qsizetype i = 0; i + 1 < data.size(); i += 2) {
        const auto sample = static_cast<qint16>(quint8(data[i]) | (quint8(data[i + 1]) << 8));
        peak = std::max(peak, std::abs(int(sample)));
    }
    return peak;
}

}  // namespace orvanta::test
