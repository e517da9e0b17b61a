#pragma once

// Damaged texts as they reach the player, made with the same converters that
// repair them so that every fixture holds exactly the bytes a misconfigured
// server or stream would produce.

#include "nowplaying/TextEncoding.h"

#include <QString>

namespace orvanta::test {

// UTF-8 text shown as single-byte text in `misreading`.
inline QString utf8ReadAs(const QString& original, TextEncoding::Encoding misreading) {
    return TextEncoding::decodeStrictly(original.toUtf8(), misreading).value();
}

inline QString utf8ReadAsLatin1(const QString& original) {
    return utf8ReadAs(original, TextEncoding::Encoding::isoLatin1);
}

inline QString utf8ReadAsWindows1252(const QString& original) {
    return utf8ReadAs(original, TextEncoding::Encoding::windows1252);
}

// Windows-1251 text shown as Latin-1.
inline QString windows1251ReadAsLatin1(const QString& original) {
    const QByteArray bytes =
        TextEncoding::encodeLossless(original, TextEncoding::Encoding::windows1251).value();
    return TextEncoding::decodeStrictly(bytes, TextEncoding::Encoding::isoLatin1).value();
}

// UTF-8 text cut after `keptBytes` bytes (possibly inside a letter), shown as
// Latin-1.
inline QString utf8CutReadAsLatin1(const QString& original, qsizetype keptBytes) {
    return TextEncoding::decodeStrictly(original.toUtf8().first(keptBytes),
                                        TextEncoding::Encoding::isoLatin1)
        .value();
}

}  // namespace orvanta::test
