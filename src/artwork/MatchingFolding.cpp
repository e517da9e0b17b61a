#include "artwork/MatchingFolding.h"

#include "nowplaying/UnicodeText.h"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <array>
#include <optional>

namespace orvanta::CatalogMatching::Folding {

namespace {

icu::UnicodeString aliasOf(QStringView text) {
    return icu::UnicodeString(false, text.utf16(), static_cast<int32_t>(text.size()));
}

QString fromIcu(const icu::UnicodeString& text) {
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

QString asciiLowerCased(const QString& text) {
    QString result = text;
    for (QChar& c : result) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    return result;
}

// --- The exact operations, through ICU.

// Decomposes, drops the non-spacing marks and composes what is left again.
// Falls back to the input when ICU cannot load its normalisation data.
QString withoutNonSpacingMarks(const icu::UnicodeString& text, const QString& fallback) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status))
        return fallback;
    const icu::UnicodeString decomposed = nfd->normalize(text, status);
    if (U_FAILURE(status))
        return fallback;
    icu::UnicodeString bare;
    for (int32_t i = 0; i < decomposed.length();) {
        const UChar32 scalar = decomposed.char32At(i);
        if (u_charType(scalar) != U_NON_SPACING_MARK)
            bare.append(scalar);
        i += U16_LENGTH(scalar);
    }
    const icu::UnicodeString composed = nfc->normalize(bare, status);
    return U_SUCCESS(status) ? fromIcu(composed) : fallback;
}

QString icuLowerCased(const QString& text) {
    icu::UnicodeString value = aliasOf(text);
    value.toLower(icu::Locale::getRoot());
    return fromIcu(value);
}

QString icuFoldedCaseAndDiacritics(const QString& text) {
    icu::UnicodeString value = aliasOf(text);
    value.foldCase(U_FOLD_CASE_DEFAULT);
    return withoutNonSpacingMarks(value, fromIcu(value));
}

QString icuFoldedDiacritics(const QString& text) {
    return withoutNonSpacingMarks(aliasOf(text), text);
}

// --- The same operations, one character at a time, for the scripts that
// radio metadata is nearly always written in.
//
// Below U+0530 (Latin, Greek, Cyrillic and the combining marks) all three
// operations work character by character: case folding and lower-casing map
// each character on its own (except the Greek capital sigma, whose lower
// case depends on its position in the word), and once the marks are gone no
// two remaining characters compose. So the text's result is the
// concatenation of each character's result, which a table holds, computed
// once by the exact operation.
class CharacterTable {
public:
    static constexpr char16_t limit = 0x0530;

    explicit CharacterTable(QString (*exact)(const QString&), char16_t contextual = 0)
        : contextual_(contextual) {
        for (char16_t c = 0; c < limit; ++c) {
            const QString mapped = exact(QString(QChar(c)));
            spans_[c] = {static_cast<quint16>(storage_.size()),
                         static_cast<quint16>(mapped.size())};
            storage_ += mapped;
        }
    }

    // None when some character lies outside the table or needs context.
    std::optional<QString> map(QStringView text) const {
        QString result;
        result.reserve(text.size());
        for (QChar c : text) {
            const char16_t u = c.unicode();
            if (u >= limit || (contextual_ && u == contextual_))
                return std::nullopt;
            result += QStringView(storage_).sliced(spans_[u].offset, spans_[u].length);
        }
        return result;
    }

private:
    struct Span {
        quint16 offset = 0;
        quint16 length = 0;
    };
    QString storage_;
    std::array<Span, limit> spans_{};
    char16_t contextual_;
};

constexpr char16_t greekCapitalSigma = 0x03A3;

}  // namespace

QString lowerCased(const QString& text) {
    if (UnicodeText::isAscii(text))
        return asciiLowerCased(text);
    static const CharacterTable table(icuLowerCased, greekCapitalSigma);
    if (std::optional<QString> mapped = table.map(text))
        return *mapped;
    return icuLowerCased(text);
}

QString foldedCaseAndDiacritics(const QString& text) {
    if (UnicodeText::isAscii(text))
        return asciiLowerCased(text);
    static const CharacterTable table(icuFoldedCaseAndDiacritics);
    if (std::optional<QString> mapped = table.map(text))
        return *mapped;
    return icuFoldedCaseAndDiacritics(text);
}

QString foldedDiacritics(const QString& text) {
    if (UnicodeText::isAscii(text))
        return text;
    static const CharacterTable table(icuFoldedDiacritics);
    if (std::optional<QString> mapped = table.map(text))
        return *mapped;
    return icuFoldedDiacritics(text);
}

bool isWordCharacter(char32_t scalar) {
    if (scalar < 0x80)
        return (scalar >= 'a' && scalar <= 'z') || (scalar >= 'A' && scalar <= 'Z') ||
               (scalar >= '0' && scalar <= '9');
    return (U_GET_GC_MASK(static_cast<UChar32>(scalar)) &
            (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

namespace {

// Calls `word(start, length)` for each run of word characters.
template <typename Visit>
void forEachWord(QStringView text, Visit word) {
    qsizetype start = -1;
    qsizetype i = 0;
    while (i < text.size()) {
        char32_t scalar = text[i].unicode();
        qsizetype width = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            scalar = QChar::surrogateToUcs4(text[i], text[i + 1]);
            width = 2;
        }
        if (isWordCharacter(scalar)) {
            if (start < 0)
                start = i;
        } else if (start >= 0) {
            word(start, i - start);
            start = -1;
        }
        i += width;
    }
    if (start >= 0)
        word(start, text.size() - start);
}

}  // namespace

QStringList words(QStringView text) {
    QStringList result;
    forEachWord(text, [&](qsizetype start, qsizetype length) {
        result.append(text.sliced(start, length).toString());
    });
    return result;
}

QString joinedWords(QStringView text) {
    QString result;
    result.reserve(text.size());
    forEachWord(text, [&](qsizetype start, qsizetype length) {
        if (!result.isEmpty())
            result += u' ';
        result += text.sliced(start, length);
    });
    return result;
}

qsizetype scalarCount(QStringView text) {
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!(text[i].isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate()))
            ++count;
    }
    return count;
}

}  // namespace orvanta::CatalogMatching::Folding
