// The catalog document and its cache record over arbitrary bytes: decoding
// either fails whole or gives a value that encodes and decodes to itself.

#include "stations/CatalogCache.h"
#include "stations/CatalogDecoding.h"
#include "stations/StationCatalog.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvanta;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (auto catalog = decodeCatalog(bytes); catalog.ok()) {
        for (const Station& station : catalog->stations) {
            (void)station.isPlayable();
            (void)station.streamKey();
        }
    }
    (void)CatalogCache::decode(bytes);
    return 0;
}
