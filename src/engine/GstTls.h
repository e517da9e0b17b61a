#pragma once

#include "platform/Failure.h"

#include <QString>

typedef struct _GstElement GstElement;
typedef struct _GError GError;

namespace orvanta {

// GStreamer's HTTP sources use GIO's TLS and ignore the CA file options, so
// extra trust (ORVANTA_CA_FILE) is given to them as a GTlsDatabase holding
// the system roots plus that file. Sets it on `element` when it has a
// "tls-database" property; nothing happens without ORVANTA_CA_FILE.
void applyTlsTrust(GstElement* element);

// A GStreamer error as a URL-loading failure: certificate and secure
// connection problems in the TLS range, everything else a plain failure.
Failure failureFromGstError(const GError* error, const QString& debug);

}  // namespace orvanta
