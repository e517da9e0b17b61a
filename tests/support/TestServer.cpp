#include "TestServer.h"

#include "TestCertificates.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace orvanta::test {

quint16 freeLoopbackPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

bool waitForPort(quint16 port, int timeoutMs, const std::function<bool()>& stillAlive) {
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (stillAlive && !stillAlive())
            return false;
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(200))
            return true;
        QThread::msleep(20);
    }
    return false;
}

QString fillTemplate(QString text, const QList<std::pair<QString, QString>>& values) {
    for (const auto& [name, value] : values)
        text.replace("{{" + name + "}}", value);
    return text;
}

bool ServerProcess::start(const QString& program, const QStringList& arguments, quint16 port,
                          const QProcessEnvironment& environment) {
    stop();
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->setProcessEnvironment(environment);
    process_->start(program, arguments);
    if (!process_->waitForStarted(10000))
        return false;
    return waitForPort(port, 10000, [this] { return isRunning(); });
}

void ServerProcess::stop() {
    if (!process_)
        return;
    if (process_->state() != QProcess::NotRunning) {
        process_->terminate();
        if (!process_->waitForFinished(5000)) {
            process_->kill();
            process_->waitForFinished(5000);
        }
    }
    process_.reset();
}

QString ServerProcess::output() const {
    return process_ ? QString::fromUtf8(process_->readAll()) : QString();
}

NginxServer::NginxServer() : root_(dir_.filePath("root")) {
    QDir().mkpath(root_);
}

NginxServer::~NginxServer() {
    stop();
}

bool NginxServer::writeFile(const QString& relativePath, const QByteArray& content) const {
    const QString path = root_ + "/" + relativePath;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QUrl NginxServer::httpsUrl(const QString& path) const {
    return QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(tlsPort_).arg(path));
}

QUrl NginxServer::httpUrl(const QString& path) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(plainPort_).arg(path));
}

QString NginxServer::errorLog() const {
    QFile file(dir_.filePath("error.log"));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

bool NginxServer::start(const Options& options) {
    const TestCertificates& certificates = TestCertificates::instance();
    const CertificatePair& pair =
        options.untrustedCertificate ? certificates.untrusted : certificates.server;
    static const char* const configuration = R"(
daemon off;
master_process off;
worker_processes 1;
error_log {{DIR}}/error.log warn;
pid {{DIR}}/nginx.pid;
events { worker_connections 256; }
http {
    include /etc/nginx/mime.types;
    default_type application/octet-stream;
    access_log off;
    client_body_temp_path {{DIR}}/tmp/body;
    proxy_temp_path {{DIR}}/tmp/proxy;
    fastcgi_temp_path {{DIR}}/tmp/fastcgi;
    uwsgi_temp_path {{DIR}}/tmp/uwsgi;
    scgi_temp_path {{DIR}}/tmp/scgi;
    {{HTTP}}
    server {
        listen 127.0.0.1:{{TLS_PORT}} ssl;
        server_name localhost;
        ssl_certificate {{CERT}};
        ssl_certificate_key {{KEY}};
        root {{ROOT}};
        {{TLS}}
    }
    server {
        listen 127.0.0.1:{{PLAIN_PORT}};
        server_name localhost;
        root {{ROOT}};
        {{PLAIN}}
    }
}
)";
    QDir().mkpath(dir_.filePath("tmp"));
    for (int attempt = 0; attempt < 3; ++attempt) {
        tlsPort_ = freeLoopbackPort();
        plainPort_ = freeLoopbackPort();
        const QList<std::pair<QString, QString>> values = {
            {"TLS_PORT", QString::number(tlsPort_)},
            {"PLAIN_PORT", QString::number(plainPort_)},
            {"ROOT", root_},
            {"DIR", dir_.path()},
        };
        QString text =
            fillTemplate(QString::fromLatin1(configuration), {{"HTTP", options.httpConfig},
                                                              {"TLS", options.tlsServerConfig},
                                                              {"PLAIN", options.plainServerConfig},
                                                              {"CERT", pair.certificate},
                                                              {"KEY", pair.key}});
        text = fillTemplate(text, values);
        QFile file(dir_.filePath("nginx.conf"));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(text.toUtf8());
        file.close();
        if (process_.start("/usr/sbin/nginx",
                           {"-p", dir_.path(), "-c", dir_.filePath("nginx.conf"), "-e",
                            dir_.filePath("error.log")},
                           tlsPort_) &&
            waitForPort(plainPort_, 5000)) {
            return true;
        }
        process_.stop();
    }
    qWarning("nginx did not start: %s", qPrintable(errorLog()));
    return false;
}

void NginxServer::stop() {
    process_.stop();
}

}  // namespace orvanta::test
