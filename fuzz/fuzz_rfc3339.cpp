// The strict RFC 3339 date parser: whatever it accepts must print back to a
// date that parses to the same instant.

#include "nowplaying/APIJSON.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<QDateTime> date = orvanta::APIJSON::parseDate(text);
    if (date) {
        const std::optional<QDateTime> again =
            orvanta::APIJSON::parseDate(orvanta::APIJSON::formatDate(*date));
        if (!again || *again != *date)
            std::abort();
    }
    return 0;
}
