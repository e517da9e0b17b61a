#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace orvanta::TextEncoding {

enum class Encoding {
    isoLatin1,
    windows1252,
    windows1251,
    utf8,
};

// The bytes of `text` in `encoding`, or none when some character has no
// exact byte form there (no substitutes, no best-fit replacements).
std::optional<QByteArray> encodeLossless(QStringView text, Encoding encoding);

// `bytes` read in `encoding`, or none when a byte sequence is not valid in it
// (no replacement characters are ever inserted).
std::optional<QString> decodeStrictly(QByteArrayView bytes, Encoding encoding);

struct Utf8Reading {
    std::optional<QString> text;   // none when the bytes are not valid UTF-8
    qsizetype invalidOffset = -1;  // offset of the first invalid byte sequence
    QByteArray invalidBytes;       // that sequence
};
// Strict UTF-8: overlong forms, surrogates, code points above U+10FFFF and
// cut sequences are all invalid.
Utf8Reading readUtf8(QByteArrayView bytes);

}  // namespace orvanta::TextEncoding
