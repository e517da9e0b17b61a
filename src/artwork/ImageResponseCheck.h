#pragma once

#include "platform/Failure.h"
#include "platform/HttpTypes.h"

#include <optional>

namespace orvanta {

// Decides from the response head alone, before any body byte is read,
// whether a response can carry a picture: an HTTP 200 that ended on an HTTPS
// address, with an "image/" media type and an announced length (when there
// is one) within the download bound. Returns the badServerResponse failure
// to report, or none.
std::optional<Failure> checkImageResponse(const HttpResponse& response);

}  // namespace orvanta
