#pragma once

#include "platform/Failure.h"
#include "platform/HttpTypes.h"

#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QSslError>
#include <QTimer>

#include <functional>
#include <optional>

namespace orvanta {

// Drives one QNetworkReply: follows redirects, enforces the idle and whole
// transfer time-outs, remembers TLS errors, and reports the response head,
// readable data and the end through callbacks. Cancelling silences it.
class ReplyDriver : public QObject {
    Q_OBJECT

public:
    ReplyDriver(QNetworkReply* reply, double idleTimeout, std::optional<double> resourceTimeout);
    ~ReplyDriver() override;

    std::function<void(const HttpResponse&)> onHead;
    std::function<void()> onReadable;
    // None on success (any HTTP status counts as success).
    std::function<void(const std::optional<Failure>&)> onFinished;

    QNetworkReply* reply() const { return reply_; }
    bool headReceived() const { return head_.has_value(); }
    const HttpResponse& response() const { return *head_; }
    bool isFinished() const { return finished_; }
    const std::optional<Failure>& finalFailure() const { return failure_; }
    // Stops the transfer; no callback runs after this.
    void cancel();

private:
    void handleMetaData();
    void handleReadyRead();
    void handleFinished();
    void restartIdleTimer();
    Failure transportFailure() const;
    HttpResponse buildResponse() const;

    QPointer<QNetworkReply> reply_;
    QTimer idleTimer_;
    QTimer resourceTimer_;
    std::optional<HttpResponse> head_;
    QList<QSslError> sslErrors_;
    std::optional<Failure> failure_;
    bool timedOut_ = false;
    bool finished_ = false;
    bool cancelled_ = false;
};

}  // namespace orvanta
