#pragma once

#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

namespace orvanta::test {

// A peer on 127.0.0.1 that accepts connections and never answers, not even
// a TLS handshake: what a hung server looks like from the client. Dropping
// its connections looks like the server resetting them.
class SilentUpstream {
public:
    SilentUpstream() {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection())
                sockets_.append(socket);
        });
    }
    ~SilentUpstream() { dropConnections(); }

    quint16 port() const { return server_.serverPort(); }
    int connections() const { return static_cast<int>(sockets_.size()); }
    void dropConnections() {
        qDeleteAll(sockets_);
        sockets_.clear();
    }

private:
    QTcpServer server_;
    QList<QTcpSocket*> sockets_;
};

}  // namespace orvanta::test
