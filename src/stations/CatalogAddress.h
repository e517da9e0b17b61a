#pragma once

#include "stations/WebUrl.h"

#include <QString>

#include <optional>

namespace orvanta {

// Address rules of the catalog server's streams. Each programme is served
// under two addresses, e.g. "/worship" and "/worship.mp3"; the rules below
// map between the two and tell which addresses belong to the catalog server.

// The percent-encoded path, unchanged, when `url` is a plain https address of
// the catalog server (scheme compared case-insensitively, host equal to the
// catalog host ignoring case, the catalog origin's port, no user, password
// or fragment; a query is ignored); none otherwise.
std::optional<QString> catalogPath(const WebUrl& url);

// The ".mp3" address of a catalog programme mapped to its plain form, with
// everything but the path kept; any other address unchanged.
WebUrl canonicalStreamURL(const WebUrl& url);

// The ".mp3" address of a catalog programme, from either of its addresses;
// none for anything else.
std::optional<WebUrl> mp3StreamURL(const WebUrl& url);

}  // namespace orvanta
