#include "nowplaying/TextEncoding.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <array>
#include <memory>

namespace orvanta::TextEncoding {

namespace {

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterHandle = std::unique_ptr<UConverter, ConverterCloser>;

const char* icuName(Encoding encoding) {
    switch (encoding) {
        case Encoding::isoLatin1:
            return "ISO-8859-1";
        case Encoding::windows1252:
            return "windows-1252";
        case Encoding::windows1251:
            return "windows-1251";
        case Encoding::utf8:
            return "UTF-8";
    }
    return "UTF-8";
}

// ICU's own stop callback lets default-ignorable characters (U+034F, U+200B,
// U+FEFF...) vanish silently when the target cannot hold them. That would make
// an "exact" encoding lose text, so this one stops at every such character.
void U_CALLCONV stopAtEveryUnmappable(const void*, UConverterFromUnicodeArgs*, const UChar*,
                                      int32_t, UChar32, UConverterCallbackReason, UErrorCode*) {
    // The error code the converter set (if any) stays, which ends the conversion.
}

// Opening a converter looks its name up and allocates; titles are repaired
// on every metadata change, so each thread keeps one converter per encoding.
// Both directions stop at the first unmappable or invalid input instead of
// substituting, which is what makes the conversions lossless or failing.
UConverter* converter(Encoding encoding) {
    thread_local std::array<ConverterHandle, 4> converters;
    ConverterHandle& slot = converters[static_cast<std::size_t>(encoding)];
    if (!slot) {
        UErrorCode status = U_ZERO_ERROR;
        ConverterHandle opened(ucnv_open(icuName(encoding), &status));
        if (U_FAILURE(status) || !opened)
            return nullptr;
        ucnv_setFromUCallBack(opened.get(), stopAtEveryUnmappable, nullptr, nullptr, nullptr,
                              &status);
        ucnv_setToUCallBack(opened.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                            &status);
        if (U_FAILURE(status))
            return nullptr;
        slot = std::move(opened);
    }
    ucnv_reset(slot.get());
    return slot.get();
}

}  // namespace

std::optional<QByteArray> encodeLossless(QStringView text, Encoding encoding) {
    if (text.isEmpty())
        return QByteArray();
    UConverter* cnv = converter(encoding);
    if (!cnv || text.size() > INT32_MAX / 4)
        return std::nullopt;
    const auto length = static_cast<int32_t>(text.size());
    QByteArray bytes(UCNV_GET_MAX_BYTES_FOR_STRING(length, ucnv_getMaxCharSize(cnv)),
                     Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t written = ucnv_fromUChars(cnv, bytes.data(), static_cast<int32_t>(bytes.size()),
                                            text.utf16(), length, &status);
    if (U_FAILURE(status))
        return std::nullopt;
    bytes.truncate(written);
    return bytes;
}

std::optional<QString> decodeStrictly(QByteArrayView bytes, Encoding encoding) {
    if (encoding == Encoding::utf8)
        return readUtf8(bytes).text;
    if (bytes.isEmpty())
        return QString();
    UConverter* cnv = converter(encoding);
    if (!cnv || bytes.size() > INT32_MAX - 1)
        return std::nullopt;
    // Single-byte encodings give at most one UTF-16 unit per byte.
    QString text(bytes.size(), Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t written = ucnv_toUChars(cnv, reinterpret_cast<char16_t*>(text.data()),
                                          static_cast<int32_t>(text.size()), bytes.data(),
                                          static_cast<int32_t>(bytes.size()), &status);
    if (U_FAILURE(status))
        return std::nullopt;
    text.truncate(written);
    return text;
}

Utf8Reading readUtf8(QByteArrayView bytes) {
    Utf8Reading reading;
    if (bytes.isEmpty()) {
        reading.text = QString();
        return reading;
    }
    UConverter* cnv = converter(Encoding::utf8);
    if (!cnv || bytes.size() > INT32_MAX - 1)
        return reading;
    // UTF-8 never needs more UTF-16 units than it has bytes.
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* target = reinterpret_cast<char16_t*>(text.data());
    char16_t* const targetStart = target;
    const char* source = bytes.data();
    UErrorCode status = U_ZERO_ERROR;
    ucnv_toUnicode(cnv, &target, targetStart + text.size(), &source, bytes.data() + bytes.size(),
                   nullptr, true, &status);
    if (U_FAILURE(status)) {
        char invalid[32];
        int8_t invalidLength = sizeof invalid;
        UErrorCode ignored = U_ZERO_ERROR;
        ucnv_getInvalidChars(cnv, invalid, &invalidLength, &ignored);
        if (U_FAILURE(ignored))
            invalidLength = 0;
        reading.invalidBytes = QByteArray(invalid, invalidLength);
        reading.invalidOffset = (source - bytes.data()) - invalidLength;
        return reading;
    }
    text.truncate(target - targetStart);
    reading.text = std::move(text);
    return reading;
}

}  // namespace orvanta::TextEncoding
