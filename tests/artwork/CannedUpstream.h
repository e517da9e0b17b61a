#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QTcpServer>

namespace orvanta::test {

// A plain-TCP HTTP peer that answers each path with a canned reply, for the
// misbehaving servers nginx will not imitate: lengths that lie, bodies that
// never end, heads that are never followed by a body. Put nginx in front
// (proxy_pass) to reach it over TLS.
class CannedUpstream : public QObject {
    Q_OBJECT

public:
    enum class Body {
        thenClose,  // the body, then the connection closes whatever the head said
        endless,    // the body repeated until the peer goes (at most 64 MiB)
        stall,      // nothing after the head
    };
    struct Reply {
        QByteArray head;  // status line and fields, without the blank line
        QByteArray body;
        Body mode = Body::thenClose;
    };

    CannedUpstream();
    quint16 port() const { return server_.serverPort(); }
    void answer(const QByteArray& path, Reply reply) { replies_.insert(path, std::move(reply)); }
    int requests(const QByteArray& path) const { return requests_.value(path); }

private:
    void serve(class QTcpSocket* socket);

    QTcpServer server_;
    QHash<QByteArray, Reply> replies_;
    QHash<QByteArray, int> requests_;
};

}  // namespace orvanta::test
