#include "artwork/CountryNames.h"

#include "artwork/MatchingText.h"

#include <unicode/uloc.h>

#include <string>

namespace orvanta::CatalogMatching {

namespace {

// The region's name in `displayLocale`, or none when the locale has no name
// for it (ICU then answers with the code itself).
std::optional<QString> regionName(const char* region, const char* displayLocale) {
    const std::string localeId = std::string("und_") + region;
    char16_t buffer[256];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        uloc_getDisplayCountry(localeId.c_str(), displayLocale, buffer, std::size(buffer), &status);
    if (U_FAILURE(status) || status == U_USING_DEFAULT_WARNING || length <= 0)
        return std::nullopt;
    QString name(reinterpret_cast<const QChar*>(buffer), length);
    if (name == QLatin1StringView(region))
        return std::nullopt;
    return name;
}

QSet<QString> buildCountryNameKeys() {
    QSet<QString> keys;
    for (const char* const* region = uloc_getISOCountries(); *region; ++region) {
        for (const char* displayLocale : {"en", "uk", "ru"}) {
            if (const std::optional<QString> name = regionName(*region, displayLocale)) {
                const QString key = searchKey(*name);
                if (!key.isEmpty())
                    keys.insert(key);
            }
        }
    }
    return keys;
}

}  // namespace

const QSet<QString>& countryNameKeys() {
    static const QSet<QString> keys = buildCountryNameKeys();
    return keys;
}

}  // namespace orvanta::CatalogMatching
