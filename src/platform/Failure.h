#pragma once

#include <QString>

#include <optional>

namespace orvanta {

// Error domains. URL-loading failures use the platform's historical numeric
// codes so that callers can classify them (for example the TLS range).
namespace ErrorDomain {
inline const QString url = QStringLiteral("url");
inline const QString decoding = QStringLiteral("decoding");
inline const QString file = QStringLiteral("file");
inline const QString streamResponse = QStringLiteral("stream-response");
inline const QString validation = QStringLiteral("validation");
}  // namespace ErrorDomain

namespace UrlError {
enum Code : long {
    unknown = -1,
    cancelled = -999,  // never reported as a failure: cancellation is its own outcome
    badURL = -1000,
    timedOut = -1001,
    unsupportedURL = -1002,
    cannotFindHost = -1003,
    cannotConnectToHost = -1004,
    networkConnectionLost = -1005,
    httpTooManyRedirects = -1007,
    resourceUnavailable = -1008,
    notConnectedToInternet = -1009,
    badServerResponse = -1011,
    cannotDecodeContentData = -1016,
    cannotParseResponse = -1017,
    dataLengthExceedsMaximum = -1103,
    secureConnectionFailed = -1200,
    serverCertificateHasBadDate = -1201,
    serverCertificateUntrusted = -1202,
    serverCertificateHasUnknownRoot = -1203,
    serverCertificateNotYetValid = -1204,
    clientCertificateRejected = -1205,
    clientCertificateRequired = -1206,
    cannotCreateFile = -3000,
};
}  // namespace UrlError

// A failure of an operation. Cancellation is deliberately not a Failure.
struct Failure {
    QString domain;
    long code = 0;
    QString message;
    // Extra payload of a stream response failure: the delay the server asked for.
    std::optional<double> retryAfter;

    static Failure url(long code, QString message = {}) {
        return Failure{ErrorDomain::url, code, std::move(message), std::nullopt};
    }
    static Failure decoding(QString message) {
        return Failure{ErrorDomain::decoding, 0, std::move(message), std::nullopt};
    }
    static Failure file(QString message) {
        return Failure{ErrorDomain::file, 0, std::move(message), std::nullopt};
    }

    bool isUrl(long urlCode) const { return domain == ErrorDomain::url && code == urlCode; }
    bool isTLSFailure() const {
        return domain == ErrorDomain::url && code >= UrlError::clientCertificateRequired &&
               code <= UrlError::secureConnectionFailed;
    }
    QString describe() const;

    friend bool operator==(const Failure&, const Failure&) = default;
};

}  // namespace orvanta
