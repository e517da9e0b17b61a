#include "CannedUpstream.h"

#include <QTcpSocket>

#include <memory>

namespace orvanta::test {

namespace {
constexpr qint64 endlessLimit = 64 * 1024 * 1024;
}

CannedUpstream::CannedUpstream() {
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            socket->setParent(this);
            auto request = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request] {
                if (request->contains("\r\n\r\n"))
                    return;
                *request += socket->readAll();
                if (!request->contains("\r\n\r\n"))
                    return;
                socket->setProperty("path", request->split(' ').value(1));
                serve(socket);
            });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

void CannedUpstream::serve(QTcpSocket* socket) {
    const QByteArray path = socket->property("path").toByteArray();
    requests_[path] += 1;
    const auto found = replies_.constFind(path);
    if (found == replies_.constEnd()) {
        socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        socket->disconnectFromHost();
        return;
    }
    const Reply reply = *found;
    socket->write(reply.head + "\r\n\r\n");
    switch (reply.mode) {
        case Body::thenClose:
            socket->write(reply.body);
            socket->disconnectFromHost();
            break;
        case Body::stall:
            break;
        case Body::endless: {
            auto sent = std::make_shared<qint64>(0);
            auto more = [socket, body = reply.body, sent] {
                while (socket->bytesToWrite() < 256 * 1024 && *sent < endlessLimit) {
                    socket->write(body);
                    *sent += body.size();
                }
                if (*sent >= endlessLimit)
                    socket->disconnectFromHost();
            };
            connect(socket, &QTcpSocket::bytesWritten, socket, more);
            more();
            break;
        }
    }
}

}  // namespace orvanta::test
