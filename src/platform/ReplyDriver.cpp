#include "platform/ReplyDriver.h"

#include <QSslConfiguration>

namespace orvanta {

namespace {

bool isRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Errors that Qt raises for HTTP answers which, to us, are plain responses.
bool isHttpStatusError(QNetworkReply::NetworkError error) {
    return (error >= QNetworkReply::ContentAccessDenied &&
            error <= QNetworkReply::UnknownContentError) ||
           error == QNetworkReply::ProtocolInvalidOperationError ||
           (error >= QNetworkReply::InternalServerError &&
            error <= QNetworkReply::UnknownServerError);
}

long tlsCode(const QList<QSslError>& errors) {
    for (const QSslError& error : errors) {
        switch (error.error()) {
            case QSslError::CertificateExpired:
                return UrlError::serverCertificateHasBadDate;
            case QSslError::CertificateNotYetValid:
                return UrlError::serverCertificateNotYetValid;
            case QSslError::UnableToGetIssuerCertificate:
            case QSslError::UnableToGetLocalIssuerCertificate:
                return UrlError::serverCertificateHasUnknownRoot;
            case QSslError::SelfSignedCertificate:
            case QSslError::SelfSignedCertificateInChain:
            case QSslError::CertificateUntrusted:
            case QSslError::HostNameMismatch:
            case QSslError::CertificateRejected:
            case QSslError::InvalidCaCertificate:
            case QSslError::CertificateSignatureFailed:
                return UrlError::serverCertificateUntrusted;
            default:
                break;
        }
    }
    return UrlError::secureConnectionFailed;
}

}  // namespace

ReplyDriver::ReplyDriver(QNetworkReply* reply, double idleTimeout,
                         std::optional<double> resourceTimeout)
    : reply_(reply) {
    idleTimer_.setSingleShot(true);
    idleTimer_.setInterval(static_cast<int>(std::clamp(idleTimeout, 0.001, 2.0e6) * 1000.0));
    connect(&idleTimer_, &QTimer::timeout, this, [this] {
        timedOut_ = true;
        if (reply_)
            reply_->abort();
    });
    if (resourceTimeout) {
        resourceTimer_.setSingleShot(true);
        connect(&resourceTimer_, &QTimer::timeout, this, [this] {
            timedOut_ = true;
            if (reply_)
                reply_->abort();
        });
        resourceTimer_.start(static_cast<int>(std::clamp(*resourceTimeout, 0.001, 2.0e6) * 1000.0));
    }
    restartIdleTimer();

    connect(reply, &QNetworkReply::redirected, this, [this](const QUrl& target) {
        restartIdleTimer();
        const QString scheme = target.scheme().toLower();
        if (reply_ && (scheme == QLatin1String("https") || scheme == QLatin1String("http"))) {
            emit reply_->redirectAllowed();
        }
    });
    connect(reply, &QNetworkReply::sslErrors, this,
            [this](const QList<QSslError>& errors) { sslErrors_ += errors; });
    connect(reply, &QNetworkReply::metaDataChanged, this, &ReplyDriver::handleMetaData);
    connect(reply, &QNetworkReply::readyRead, this, &ReplyDriver::handleReadyRead);
    connect(reply, &QNetworkReply::finished, this, &ReplyDriver::handleFinished);
    connect(reply, &QNetworkReply::downloadProgress, this, [this] { restartIdleTimer(); });
    connect(reply, &QNetworkReply::encrypted, this, [this] { restartIdleTimer(); });
}

ReplyDriver::~ReplyDriver() {
    cancel();
}

void ReplyDriver::cancel() {
    if (cancelled_)
        return;
    cancelled_ = true;
    onHead = nullptr;
    onReadable = nullptr;
    onFinished = nullptr;
    idleTimer_.stop();
    resourceTimer_.stop();
    if (reply_) {
        reply_->disconnect(this);
        if (!reply_->isFinished())
            reply_->abort();
        reply_->deleteLater();
        reply_ = nullptr;
    }
}

void ReplyDriver::restartIdleTimer() {
    if (!cancelled_ && !finished_)
        idleTimer_.start();
}

HttpResponse ReplyDriver::buildResponse() const {
    HttpResponse response;
    const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QString scheme = reply_->url().scheme().toLower();
    response.isHTTP =
        status.isValid() && (scheme == QLatin1String("https") || scheme == QLatin1String("http"));
    response.status = status.toInt();
    response.headers = reply_->rawHeaderPairs();
    response.finalUrl = reply_->url();
    const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
    response.expectedLength = length.isValid() ? length.toLongLong() : -1;
    return response;
}

void ReplyDriver::handleMetaData() {
    restartIdleTimer();
    if (head_ || !reply_)
        return;
    const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return;
    // The head of a redirect that is being followed is not the response.
    if (isRedirectStatus(status.toInt()) && reply_->hasRawHeader("Location") &&
        !reply_->isFinished()) {
        return;
    }
    head_ = buildResponse();
    if (auto callback = onHead)
        callback(*head_);
}

void ReplyDriver::handleReadyRead() {
    restartIdleTimer();
    if (!head_)
        handleMetaData();
    if (cancelled_ || !head_)
        return;
    if (auto callback = onReadable)
        callback();
}

Failure ReplyDriver::transportFailure() const {
    const QString text = reply_ ? reply_->errorString() : QString();
    if (timedOut_)
        return Failure::url(UrlError::timedOut, QStringLiteral("The request timed out."));
    switch (reply_->error()) {
        case QNetworkReply::ConnectionRefusedError:
            return Failure::url(UrlError::cannotConnectToHost, text);
        case QNetworkReply::HostNotFoundError:
            return Failure::url(UrlError::cannotFindHost, text);
        case QNetworkReply::TimeoutError:
            return Failure::url(UrlError::timedOut, text);
        case QNetworkReply::SslHandshakeFailedError:
            return Failure::url(tlsCode(sslErrors_), text);
        case QNetworkReply::TemporaryNetworkFailureError:
        case QNetworkReply::NetworkSessionFailedError:
            return Failure::url(UrlError::notConnectedToInternet, text);
        case QNetworkReply::TooManyRedirectsError:
            return Failure::url(UrlError::httpTooManyRedirects, text);
        case QNetworkReply::ProtocolUnknownError:
        case QNetworkReply::InsecureRedirectError:
            return Failure::url(UrlError::unsupportedURL, text);
        case QNetworkReply::ProtocolFailure:
            return Failure::url(UrlError::cannotParseResponse, text);
        case QNetworkReply::RemoteHostClosedError:
        case QNetworkReply::UnknownNetworkError:
        default:
            if (!sslErrors_.isEmpty())
                return Failure::url(tlsCode(sslErrors_), text);
            return Failure::url(UrlError::networkConnectionLost, text);
    }
}

void ReplyDriver::handleFinished() {
    if (cancelled_ || finished_ || !reply_)
        return;
    idleTimer_.stop();
    resourceTimer_.stop();
    const QNetworkReply::NetworkError error = reply_->error();
    const bool hasStatus = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    if (!timedOut_ &&
        (error == QNetworkReply::NoError || (hasStatus && isHttpStatusError(error)))) {
        if (!head_)
            handleMetaData();
        if (cancelled_)
            return;
        if (!head_) {
            // A finished reply without an HTTP status (e.g. a file: address).
            head_ = buildResponse();
            if (auto callback = onHead)
                callback(*head_);
            if (cancelled_)
                return;
        }
    } else {
        failure_ = transportFailure();
    }
    finished_ = true;
    if (auto callback = onReadable; callback && reply_->bytesAvailable() > 0)
        callback();
    if (cancelled_)
        return;
    if (auto callback = onFinished)
        callback(failure_);
}

}  // namespace orvanta
