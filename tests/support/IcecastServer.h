#pragma once

#include "TestServer.h"

#include <QTemporaryDir>
#include <QUrl>

namespace orvanta::test {

// icecast2 on a free loopback port with an ffmpeg source client sending a
// generated MP3 tone in real time to a mount. Titles are changed through
// icecast's admin interface, which inserts them into the stream as ICY
// metadata. icecast refuses to run as root, so it runs as "nobody" then.
class IcecastServer {
public:
    IcecastServer();
    ~IcecastServer();

    // Starts icecast and a source on `mount` (e.g. "/worship.mp3").
    bool start(const QString& mount = QStringLiteral("/live.mp3"));
    void stop();
    // Stops only the source client: the mount ends, listeners are cut off.
    void stopSource();
    bool startSource();

    quint16 port() const { return port_; }
    QUrl streamUrl() const;
    // Sets the title icecast inserts into the stream from now on.
    bool setTitle(const QString& title);
    QString mount() const { return mount_; }

private:
    void reportFailure() const;

    QTemporaryDir dir_;
    quint16 port_ = 0;
    QString mount_;
    ServerProcess icecast_;
    std::unique_ptr<QProcess> source_;
};

}  // namespace orvanta::test
