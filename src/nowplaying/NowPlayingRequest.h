#pragma once

#include "nowplaying/NowPlayingSnapshot.h"
#include "platform/Deployment.h"
#include "platform/HttpTypes.h"
#include "platform/Outcome.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUrl>

namespace orvanta {

// The request and the answer rules of fetching a now-playing snapshot from
// the catalog server. The transfer itself belongs to the catalog client;
// these functions only build and judge.

// Answers longer than this are refused; a transfer may stop reading there.
inline constexpr qsizetype nowPlayingMaximumBodyBytes = 1'000'000;
inline constexpr double nowPlayingTimeoutSeconds = 10.0;

// "/api/spotify/now-playing" for the Spotify station; otherwise
// "/api/v1/stations/<id>/now-playing" with the id escaped as one path
// component. Fails with badURL for an id that cannot be one component (empty,
// "." or ".."), which would otherwise address another resource.
Outcome<QUrl> nowPlayingRequestURL(const QString& stationId,
                                   const QUrl& catalogOrigin = Deployment::catalogOrigin());

// A plain GET of that address with a 10 s timeout that always reloads.
Outcome<HttpRequest> nowPlayingRequest(const QString& stationId,
                                       const QUrl& catalogOrigin = Deployment::catalogOrigin());

// The snapshot in an answer to that request. A response that is not HTTP 200,
// or a body over the limit, fails with badServerResponse; malformed or
// incomplete JSON with a decoding failure; a snapshot of another station
// with cannotParseResponse. The Spotify record is converted at `now`.
Outcome<NowPlayingSnapshot> decodeNowPlayingResponse(const HttpResponse& response,
                                                     const QByteArray& body,
                                                     const QString& requestedStationId,
                                                     const QDateTime& now);

}  // namespace orvanta
