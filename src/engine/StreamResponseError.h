#pragma once

#include "platform/Failure.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace orvanta {

// The stream check's refusal of an answer: the HTTP status it came with (415
// for an answer that is not a stream) and the delay the server asked for.
// It travels as a Failure of the streamResponse domain whose code is the
// status, so that it passes through Outcome like any other failure.
struct StreamResponseError {
    int status = 0;
    std::optional<double> retryAfter;

    Failure toFailure() const;
    // None for every failure that is not a stream response error.
    static std::optional<StreamResponseError> from(const Failure& failure);

    friend bool operator==(const StreamResponseError&, const StreamResponseError&) = default;
};

// True for the client errors that no retry can mend: 400…499 except
// 408 (request time-out) and 429 (too many requests).
bool isPermanentStatus(int status);

// The delay in seconds that a "Retry-After" header value asks for at `now`:
// a plain decimal number (negative values give 0), or an HTTP date such as
// "Wed, 21 Oct 2015 07:28:00 GMT" (dates in the past give 0). None for an
// absent header and for anything else.
std::optional<double> parseRetryAfter(const std::optional<QString>& header, const QDateTime& now);

}  // namespace orvanta
