#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <functional>
#include <memory>

namespace orvanta::test {

// A free TCP port on 127.0.0.1, chosen by the system at run time.
quint16 freeLoopbackPort();
// Waits until something accepts connections on 127.0.0.1:port.
bool waitForPort(quint16 port, int timeoutMs, const std::function<bool()>& stillAlive = {});
// Replaces {{NAME}} placeholders in a template.
QString fillTemplate(QString text, const QList<std::pair<QString, QString>>& values);

// A real server program run as a child process for the duration of a test.
// It is stopped on destruction, so a failing test never leaves it running.
class ServerProcess {
public:
    ServerProcess() = default;
    ~ServerProcess() { stop(); }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Starts `program` and waits until `port` accepts connections.
    bool start(const QString& program, const QStringList& arguments, quint16 port,
               const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());
    void stop();
    bool isRunning() const { return process_ && process_->state() != QProcess::NotRunning; }
    QString output() const;

private:
    std::unique_ptr<QProcess> process_;
};

// nginx serving a folder over TLS (the test CA's certificate, or an untrusted
// one) and over plain HTTP, with room for extra configuration. Placeholders
// available in the extra text: {{TLS_PORT}}, {{PLAIN_PORT}}, {{ROOT}}, {{DIR}}.
class NginxServer {
public:
    struct Options {
        bool untrustedCertificate = false;
        QString tlsServerConfig;    // inside the TLS server block
        QString plainServerConfig;  // inside the plain HTTP server block
        QString httpConfig;         // inside the http block
    };

    NginxServer();
    ~NginxServer();

    bool start() { return start(Options()); }
    bool start(const Options& options);
    void stop();

    // Files placed here are served by both listeners.
    QString root() const { return root_; }
    bool writeFile(const QString& relativePath, const QByteArray& content) const;
    QUrl httpsUrl(const QString& path) const;
    QUrl httpUrl(const QString& path) const;
    quint16 tlsPort() const { return tlsPort_; }
    quint16 plainPort() const { return plainPort_; }
    QString errorLog() const;

private:
    QTemporaryDir dir_;
    QString root_;
    quint16 tlsPort_ = 0;
    quint16 plainPort_ = 0;
    ServerProcess process_;
};

}  // namespace orvanta::test
