#pragma once

#include <QUrl>

namespace orvanta {

// Hosts of the product's own services. They are constants of the build; tests
// and local set-ups override them with ORVANTA_CATALOG_URL and
// ORVANTA_IMAGE_URL (an origin such as https://127.0.0.1:8443).
namespace Deployment {

QUrl catalogOrigin();
QUrl imageOrigin();

// The catalog origin's host (lower case) and the port a URL must carry to be
// one of its addresses: -1 means "absent or 443".
QString catalogHost();
int catalogPort();

}  // namespace Deployment
}  // namespace orvanta
