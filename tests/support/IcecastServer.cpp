#include "IcecastServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QThread>

#include <unistd.h>

namespace orvanta::test {

namespace {
const char* const sourcePassword = "orvanta-source";
const char* const adminPassword = "orvanta-admin";
}  // namespace

IcecastServer::IcecastServer() {
    // The server may run as "nobody": it must reach its folder.
    QFile::setPermissions(dir_.path(), QFileDevice::Permissions(0x7777));
}

IcecastServer::~IcecastServer() {
    stop();
}

QUrl IcecastServer::streamUrl() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(mount_));
}

bool IcecastServer::start(const QString& mount) {
    mount_ = mount;
    static const char* const configuration = R"(<icecast>
  <location>loopback</location>
  <admin>test@localhost</admin>
  <limits>
    <clients>20</clients>
    <sources>4</sources>
    <queue-size>524288</queue-size>
    <client-timeout>30</client-timeout>
    <header-timeout>15</header-timeout>
    <source-timeout>10</source-timeout>
    <burst-on-connect>1</burst-on-connect>
    <burst-size>16384</burst-size>
  </limits>
  <authentication>
    <source-password>{{SOURCE}}</source-password>
    <admin-user>admin</admin-user>
    <admin-password>{{ADMIN}}</admin-password>
  </authentication>
  <hostname>127.0.0.1</hostname>
  <listen-socket>
    <port>{{PORT}}</port>
    <bind-address>127.0.0.1</bind-address>
  </listen-socket>
  <fileserve>1</fileserve>
  <paths>
    <basedir>/usr/share/icecast2</basedir>
    <logdir>{{DIR}}</logdir>
    <webroot>/usr/share/icecast2/web</webroot>
    <adminroot>/usr/share/icecast2/admin</adminroot>
  </paths>
  <logging>
    <accesslog>access.log</accesslog>
    <errorlog>error.log</errorlog>
    <loglevel>2</loglevel>
  </logging>
  <mount>
    <mount-name>{{MOUNT}}</mount-name>
    <charset>UTF-8</charset>
  </mount>
  <security>
    <chroot>0</chroot>
  </security>
</icecast>
)";
    for (int attempt = 0; attempt < 3; ++attempt) {
        port_ = freeLoopbackPort();
        const QString text =
            fillTemplate(QString::fromLatin1(configuration), {{"SOURCE", sourcePassword},
                                                              {"ADMIN", adminPassword},
                                                              {"PORT", QString::number(port_)},
                                                              {"MOUNT", mount_},
                                                              {"DIR", dir_.path()}});
        QFile file(dir_.filePath("icecast.xml"));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(text.toUtf8());
        file.close();
        QFile::setPermissions(file.fileName(), QFileDevice::Permissions(0x6644));
        const bool root = geteuid() == 0;
        const QString program = root ? QStringLiteral("runuser") : QStringLiteral("icecast2");
        QStringList arguments = {"-c", file.fileName()};
        if (root)
            arguments = QStringList{"-u", "nobody", "--", "icecast2"} + arguments;
        if (icecast_.start(program, arguments, port_) && startSource())
            return true;
        // A busy machine can lose the race for the port or stall the source;
        // say what happened and try again on a fresh port.
        reportFailure();
        stop();
    }
    return false;
}

bool IcecastServer::startSource() {
    stopSource();
    source_ = std::make_unique<QProcess>();
    source_->setProcessChannelMode(QProcess::MergedChannels);
    const QString target = QStringLiteral("icecast://source:%1@127.0.0.1:%2%3")
                               .arg(sourcePassword)
                               .arg(port_)
                               .arg(mount_);
    source_->start(
        "ffmpeg", {"-hide_banner", "-loglevel", "error", "-re", "-f", "lavfi", "-i",
                   "sine=frequency=440:sample_rate=44100", "-ac", "2", "-c:a", "libmp3lame", "-b:a",
                   "128k", "-content_type", "audio/mpeg", "-f", "mp3", target});
    if (!source_->waitForStarted(10000))
        return false;
    // The mount exists once icecast serves it to a listener.
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port_);
        if (socket.waitForConnected(500)) {
            socket.write(QStringLiteral("GET %1 HTTP/1.0\r\n\r\n").arg(mount_).toLatin1());
            socket.waitForBytesWritten(500);
            QByteArray head;
            while (!head.contains("\r\n\r\n") && socket.waitForReadyRead(500))
                head += socket.readAll();
            if (head.startsWith("HTTP/1.0 200") || head.startsWith("HTTP/1.1 200"))
                return true;
        }
        if (source_->state() == QProcess::NotRunning)
            return false;
        QThread::msleep(100);
    }
    return false;
}

void IcecastServer::reportFailure() const {
    QFile errorLog(dir_.filePath("error.log"));
    QByteArray logTail;
    if (errorLog.open(QIODevice::ReadOnly))
        logTail = errorLog.readAll().right(2000);
    qWarning("icecast on port %u did not come up. icecast: %s\nsource: %s\nerror.log: %s",
             unsigned(port_), qPrintable(icecast_.output()),
             source_ ? source_->readAll().constData() : "(not started)", logTail.constData());
}

void IcecastServer::stopSource() {
    if (!source_)
        return;
    source_->terminate();
    if (!source_->waitForFinished(5000)) {
        source_->kill();
        source_->waitForFinished(5000);
    }
    source_.reset();
}

void IcecastServer::stop() {
    stopSource();
    icecast_.stop();
}

bool IcecastServer::setTitle(const QString& title) {
    const QByteArray path = "/admin/metadata?mount=" + QUrl::toPercentEncoding(mount_) +
                            "&mode=updinfo&charset=UTF-8&song=" + QUrl::toPercentEncoding(title);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port_);
    if (!socket.waitForConnected(2000))
        return false;
    const QByteArray credentials = QByteArray("admin:") + adminPassword;
    socket.write("GET " + path + " HTTP/1.0\r\nAuthorization: Basic " + credentials.toBase64() +
                 "\r\n\r\n");
    socket.waitForBytesWritten(2000);
    QByteArray answer;
    while (socket.waitForReadyRead(2000))
        answer += socket.readAll();
    return answer.startsWith("HTTP/1.0 200") || answer.startsWith("HTTP/1.1 200");
}

}  // namespace orvanta::test
