#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <memory>

namespace orvanta::test {

// A private PulseAudio daemon with one null sink, "orvanta_test", whose
// monitor records what was played. Clients reach it through `environment()`.
class PulseAudioServer {
public:
    PulseAudioServer() = default;
    ~PulseAudioServer();

    bool start();
    void stop();
    // PULSE_SERVER pointing at this daemon.
    QProcessEnvironment environment(
        QProcessEnvironment base = QProcessEnvironment::systemEnvironment()) const;
    // Records `seconds` of the null sink's monitor as 16-bit stereo and
    // returns the loudest sample's magnitude (0 … 32767).
    int peakOfMonitor(double seconds) const;
    qint64 processId() const { return daemon_ ? daemon_->processId() : 0; }

private:
    QTemporaryDir dir_;
    std::unique_ptr<QProcess> daemon_;
};

}  // namespace orvanta::test
