#pragma once

#include "platform/Cancellation.h"
#include "platform/Clock.h"
#include "platform/HttpSession.h"
#include "platform/HttpTypes.h"
#include "platform/Outcome.h"
#include "platform/Task.h"
#include "stations/WebUrl.h"

#include <QDateTime>
#include <QString>
#include <QUrl>

#include <optional>

namespace orvanta {

// What a stream check learnt from a stream's response head.
struct StreamCheckResult {
    WebUrl address;                // the address that answered; `resolve`'s address to play
    QUrl finalUrl;                 // after redirects
    int status = 0;                // the HTTP status, 2xx
    QString mimeType;              // lower-cased, without parameters
    std::optional<QString> genre;  // "icy-genre" as the server sent it
    HttpHeaders headers;           // the whole head, for the station logo headers

    friend bool operator==(const StreamCheckResult&, const StreamCheckResult&) = default;
};

// The header-only check of a stream address before it is played or asked for
// its station details: one GET whose transfer is cancelled as soon as the
// response head is in, so a live stream costs a few bytes.
//
// Failures: an answer outside 2xx, a 2xx answer that is not audio or a
// playlist, or one that ended up on a plain-HTTP address, fail with a
// StreamResponseError (the latter two as status 415); transport failures
// (time-outs, TLS) are passed on unchanged; cancellation is Cancelled.
//
// Stateless: the probe may be dropped while its checks run, but the session
// and the clock must outlive them. Used on the session's thread.
class StreamProbe {
public:
    explicit StreamProbe(HttpSession& session = HttpSession::shared(),
                         const Clock& clock = Clock::system())
        : session_(&session), clock_(&clock) {}

    static constexpr double timeoutSeconds = 10.0;

    Task<Outcome<StreamCheckResult>> check(WebUrl url, CancelToken token = {}) const;

    // Checks the canonical form of `url`. A catalog programme whose plain
    // address answers 404, 405 or 415 is checked once more at its ".mp3"
    // address; the result's address is the one that passed.
    Task<Outcome<StreamCheckResult>> resolve(WebUrl url, CancelToken token = {}) const;

    // The check's request and its judgement of a response head, without I/O.
    static HttpRequest request(const WebUrl& url);
    static Outcome<StreamCheckResult> judge(const WebUrl& url, const HttpResponse& response,
                                            const QDateTime& now);

private:
    static Task<Outcome<StreamCheckResult>> checkWith(HttpSession* session, const Clock* clock,
                                                      WebUrl url, CancelToken token);
    static Task<Outcome<StreamCheckResult>> resolveWith(HttpSession* session, const Clock* clock,
                                                        WebUrl url, CancelToken token);

    HttpSession* session_;
    const Clock* clock_;
};

}  // namespace orvanta
