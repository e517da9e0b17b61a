#pragma once

#include <QList>
#include <QString>
#include <QStringView>

namespace orvanta::UnicodeText {

// Unicode White_Space (spaces, tabs, line breaks, NEL, no-break and
// typographic spaces): the set that trimming and word splitting use.
bool isWhitespace(char32_t scalar);
// Cyrillic block, U+0400 to U+04FF.
inline bool isCyrillic(char32_t scalar) {
    return scalar >= 0x0400 && scalar <= 0x04FF;
}
bool isAscii(QStringView text);

// Bounds of `text` without leading and trailing whitespace.
struct Span {
    qsizetype begin = 0;
    qsizetype end = 0;
};
Span trimmedSpan(QStringView text);
// `text` without leading and trailing whitespace; shares the data when
// there is nothing to trim.
QString trimmed(const QString& text);
// The words of `text` between runs of whitespace, none of them empty.
QList<QStringView> words(QStringView text);
// The words of `text` joined by single blanks; shares the data when `text`
// already has that form.
QString collapseWhitespace(const QString& text);

// Canonical composition (NFC).
QString composed(const QString& text);
// Equality that ignores letter case (full case folding) and treats
// canonically equivalent texts as equal.
bool equalIgnoringCase(QStringView a, QStringView b);

// Start of the last user-perceived character (extended grapheme cluster);
// 0 for empty text.
qsizetype lastCharacterStart(QStringView text);
// The last Unicode scalar of non-empty text.
char32_t lastScalar(QStringView text);

}  // namespace orvanta::UnicodeText
