#include "nowplaying/UnicodeText.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <memory>

namespace orvanta::UnicodeText {

namespace {

// A read-only ICU view of UTF-16 text; nothing is copied.
icu::UnicodeString aliasOf(QStringView text) {
    return icu::UnicodeString(false, text.utf16(), static_cast<int32_t>(text.size()));
}

QString fromIcu(const icu::UnicodeString& text) {
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

}  // namespace

bool isWhitespace(char32_t scalar) {
    if (scalar < 0x80)
        return scalar == ' ' || (scalar >= '\t' && scalar <= '\r');
    return u_isUWhiteSpace(static_cast<UChar32>(scalar));
}

bool isAscii(QStringView text) {
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

// Every whitespace scalar lies in the BMP, so scanning code units is exact:
// a surrogate is never whitespace.
Span trimmedSpan(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isWhitespace(text[begin].unicode()))
        ++begin;
    while (end > begin && isWhitespace(text[end - 1].unicode()))
        --end;
    return {begin, end};
}

QString trimmed(const QString& text) {
    const Span span = trimmedSpan(text);
    if (span.begin == 0 && span.end == text.size())
        return text;
    return text.mid(span.begin, span.end - span.begin);
}

QList<QStringView> words(QStringView text) {
    QList<QStringView> result;
    qsizetype start = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isWhitespace(text[i].unicode())) {
            if (start >= 0)
                result.append(text.sliced(start, i - start));
            start = -1;
        } else if (start < 0) {
            start = i;
        }
    }
    if (start >= 0)
        result.append(text.sliced(start));
    return result;
}

QString collapseWhitespace(const QString& text) {
    bool needsWork = false;
    bool previousWasBlank = true;  // so that a leading blank counts as extra
    for (QChar c : text) {
        const bool blank = isWhitespace(c.unicode());
        if (blank && (previousWasBlank || c != QLatin1Char(' '))) {
            needsWork = true;
            break;
        }
        previousWasBlank = blank;
    }
    if (!needsWork && !previousWasBlank)
        return text;
    QString result;
    result.reserve(text.size());
    for (QStringView word : words(text)) {
        if (!result.isEmpty())
            result += QLatin1Char(' ');
        result += word;
    }
    return result;
}

QString composed(const QString& text) {
    // Nothing below U+0300 (the first combining mark) composes or decomposes.
    bool belowCombiningMarks = true;
    for (QChar c : text) {
        if (c.unicode() >= 0x0300) {
            belowCombiningMarks = false;
            break;
        }
    }
    if (belowCombiningMarks)
        return text;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status))
        return text;
    const icu::UnicodeString source = aliasOf(text);
    const int32_t stable = nfc->spanQuickCheckYes(source, status);
    if (U_FAILURE(status) || stable == source.length())
        return text;
    icu::UnicodeString result = nfc->normalize(source, status);
    return U_SUCCESS(status) ? fromIcu(result) : text;
}

bool equalIgnoringCase(QStringView a, QStringView b) {
    if (a == b)
        return true;
    // Canonical caseless match: NFD(fold(NFD(x))) on both sides.
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status))
        return false;
    const auto key = [&](QStringView text) {
        icu::UnicodeString value = nfd->normalize(aliasOf(text), status);
        value.foldCase(U_FOLD_CASE_DEFAULT);
        return nfd->normalize(value, status);
    };
    const icu::UnicodeString left = key(a);
    const icu::UnicodeString right = key(b);
    return U_SUCCESS(status) && left == right;
}

qsizetype lastCharacterStart(QStringView text) {
    if (text.size() < 2)
        return 0;
    // Creating a break iterator loads rule data; keep one per thread.
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> created(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(created) : nullptr;
    }();
    if (!iterator) {
        const bool pair = text.back().isLowSurrogate() && text[text.size() - 2].isHighSurrogate();
        return text.size() - (pair ? 2 : 1);
    }
    const icu::UnicodeString alias = aliasOf(text);
    iterator->setText(alias);
    iterator->last();
    // The iterator keeps pointing into `text` until the next call sets new
    // text; it is never used in between.
    const int32_t start = iterator->previous();
    return start == icu::BreakIterator::DONE ? 0 : start;
}

char32_t lastScalar(QStringView text) {
    const qsizetype n = text.size();
    if (n >= 2 && text[n - 1].isLowSurrogate() && text[n - 2].isHighSurrogate())
        return QChar::surrogateToUcs4(text[n - 2], text[n - 1]);
    return text[n - 1].unicode();
}

}  // namespace orvanta::UnicodeText
