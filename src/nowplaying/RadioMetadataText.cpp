#include "nowplaying/RadioMetadataText.h"

#include "nowplaying/TextEncoding.h"
#include "nowplaying/UnicodeText.h"

#include <QtGlobal>

#include <unicode/regex.h>

#include <memory>

namespace orvanta::RadioMetadataText {

namespace {

using TextEncoding::Encoding;
using UnicodeText::Span;

constexpr char16_t capitalEth = 0x00D0;          // "Ð", UTF-8 lead byte 0xD0
constexpr char16_t capitalNTilde = 0x00D1;       // "Ñ", UTF-8 lead byte 0xD1
constexpr char16_t capitalATilde = 0x00C3;       // "Ã", UTF-8 lead byte 0xC3
constexpr char16_t capitalACircumflex = 0x00C2;  // "Â", UTF-8 lead byte 0xC2
constexpr char16_t nextLine = 0x0085;
constexpr char16_t noBreakSpace = 0x00A0;
constexpr char16_t replacementCharacter = 0xFFFD;

// Lead bytes of two-byte UTF-8 as Latin-1 shows them. Their presence is the
// cheap sign that a text may be double-decoded UTF-8.
bool isMarker(QChar c) {
    const char16_t u = c.unicode();
    return u == capitalEth || u == capitalNTilde || u == capitalATilde || u == capitalACircumflex;
}

bool containsMarker(QStringView text) {
    for (QChar c : text) {
        if (isMarker(c))
            return true;
    }
    return false;
}

// Some second bytes of double-decoded letters read as blanks: 0x85 is NEL
// in Latin-1 and 0xA0 is a no-break space in both Latin-1 and Windows-1252.
// So "х" (D1 85) becomes "Ñ" + NEL and "Р" (D0 A0) becomes "Ð" + NBSP.
// Right after a marker such a blank is part of the letter, not a word break,
// and trimming it away would cut the letter in half.
bool isLetterTail(QStringView text, qsizetype index) {
    if (index <= 0 || index >= text.size())
        return false;
    const char16_t u = text[index].unicode();
    return (u == nextLine || u == noBreakSpace) && isMarker(text[index - 1]);
}

// Runs of non-whitespace (ICU "\S+", Unicode-aware), where a blank that is
// the second byte of a double-decoded letter stays inside its word.
const icu::RegexPattern& damagedWordPattern() {
    static const std::unique_ptr<icu::RegexPattern> pattern = [] {
        UErrorCode status = U_ZERO_ERROR;
        UParseError where;
        std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(
            icu::UnicodeString(u"(?:[\\u00C2\\u00C3\\u00D0\\u00D1][\\u0085\\u00A0]|\\S)+"), 0,
            where, status));
        if (U_FAILURE(status) || !compiled)
            qFatal("word pattern does not compile: %s", u_errorName(status));
        return compiled;
    }();
    return *pattern;
}

QList<Span> damagedWords(QStringView text) {
    QList<Span> words;
    const icu::UnicodeString alias(false, text.utf16(), static_cast<int32_t>(text.size()));
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::RegexMatcher> matcher(damagedWordPattern().matcher(alias, status));
    if (U_FAILURE(status) || !matcher)
        return words;
    while (matcher->find(status) && U_SUCCESS(status))
        words.append({matcher->start(status), matcher->end(status)});
    return words;
}

// The UTF-8 text whose bytes `fragment` shows as Latin-1 or Windows-1252.
std::optional<QString> repairFragment(QStringView fragment) {
    if (!containsMarker(fragment))
        return std::nullopt;
    for (const Encoding encoding : {Encoding::isoLatin1, Encoding::windows1252}) {
        const std::optional<QByteArray> bytes = TextEncoding::encodeLossless(fragment, encoding);
        if (!bytes)
            continue;
        const std::optional<QString> roundTrip = TextEncoding::decodeStrictly(*bytes, encoding);
        if (!roundTrip || *roundTrip != fragment)
            continue;
        std::optional<QString> utf8 = TextEncoding::readUtf8(*bytes).text;
        if (!utf8 || *utf8 == fragment || utf8->contains(QChar(replacementCharacter)))
            continue;
        return utf8;
    }
    return std::nullopt;
}

// One repair pass: the whole text at once, or else every word that repairs
// on its own. Words are replaced from the last to the first so that the
// positions of the earlier ones stay valid.
QString repairPass(const QString& text) {
    if (std::optional<QString> whole = repairFragment(text))
        return *whole;
    QString result = text;
    const QList<Span> words = damagedWords(text);
    for (auto word = words.crbegin(); word != words.crend(); ++word) {
        const qsizetype length = word->end - word->begin;
        if (std::optional<QString> repaired =
                repairFragment(QStringView(text).sliced(word->begin, length)))
            result.replace(word->begin, length, *repaired);
    }
    return result;
}

bool isAccentedLatin1Letter(QChar c) {
    return c.unicode() >= 0x00C0 && c.unicode() <= 0x00FF;
}

bool hasAccentedLatin1Pair(QStringView text) {
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (isAccentedLatin1Letter(text[i]) && isAccentedLatin1Letter(text[i - 1]))
            return true;
    }
    return false;
}

qsizetype cyrillicCount(QStringView text) {
    qsizetype count = 0;
    for (QChar c : text) {
        if (UnicodeText::isCyrillic(c.unicode()))
            ++count;
    }
    return count;
}

// Windows-1251 has no Latin letters above ASCII, so a real Cyrillic word read
// back from it is Cyrillic throughout, perhaps with a stray Latin "i".
// Accented words of other languages come out mostly Latin with a few Cyrillic
// letters ("Coração" would read "Coraзгo", "Grüße" "GrьЯe").
bool hasLatinWordWithCyrillic(QStringView text) {
    qsizetype latin = 0;
    qsizetype cyrillic = 0;
    const auto isMixed = [&] { return cyrillic > 0 && latin >= cyrillic; };
    for (QChar c : text) {
        if (!c.isLetter()) {
            if (isMixed())
                return true;
            latin = cyrillic = 0;
        } else if (c.unicode() < 0x80) {
            ++latin;
        } else if (UnicodeText::isCyrillic(c.unicode())) {
            ++cyrillic;
        }
    }
    return isMixed();
}

// Windows-1251 text that was read as Latin-1: Cyrillic shows as runs of
// accented Latin letters.
std::optional<QString> readAsWindows1251(QStringView text) {
    if (!hasAccentedLatin1Pair(text))
        return std::nullopt;
    // Fails when some scalar lies above U+00FF: then this is not Latin-1.
    const std::optional<QByteArray> bytes = TextEncoding::encodeLossless(text, Encoding::isoLatin1);
    if (!bytes)
        return std::nullopt;
    std::optional<QString> cyrillic = TextEncoding::decodeStrictly(*bytes, Encoding::windows1251);
    if (!cyrillic || cyrillicCount(*cyrillic) < 2 || hasLatinWordWithCyrillic(*cyrillic))
        return std::nullopt;
    return cyrillic;
}

}  // namespace

QString repairMojibake(const QString& text) {
    if (!containsMarker(text))
        return text;
    const QString first = repairPass(text);
    if (first == text || !containsMarker(first))
        return first;
    // Text that was double-decoded twice needs a second pass; never more.
    return repairPass(first);
}

QString clean(const QString& text) {
    const Span span = UnicodeText::trimmedSpan(text);
    const QString trimmed = UnicodeText::trimmed(text);
    if (trimmed.isEmpty())
        return QString();
    if (UnicodeText::isAscii(trimmed))
        return trimmed;

    if (containsMarker(trimmed)) {
        const bool keepsTail = isLetterTail(text, span.end);
        const QString source =
            keepsTail ? text.mid(span.begin, span.end + 1 - span.begin) : trimmed;
        const QString repaired = repairMojibake(source);
        if (repaired != source)
            return keepsTail ? UnicodeText::trimmed(repaired) : repaired;
    }
    if (truncatedName(text))
        return trimmed;
    if (std::optional<QString> cyrillic = readAsWindows1251(trimmed))
        return *cyrillic;
    return trimmed;
}

std::optional<TruncatedName> truncatedName(const QString& text) {
    const Span span = UnicodeText::trimmedSpan(text);
    if (span.begin == span.end)
        return std::nullopt;
    const char16_t last = text[span.end - 1].unicode();
    if (last != capitalEth && last != capitalNTilde)
        return std::nullopt;
    // A trimmed tail after it means the letter's second byte is there.
    if (isLetterTail(text, span.end))
        return std::nullopt;
    const QStringView trimmed = QStringView(text).sliced(span.begin, span.end - span.begin);
    if (UnicodeText::lastCharacterStart(trimmed) != trimmed.size() - 1)
        return std::nullopt;  // the "Ð" carries combining marks: not a lone byte

    const QString rest = trimmed.chopped(1).toString();
    const QList<Span> words = damagedWords(rest);
    if (words.isEmpty())
        return std::nullopt;
    const QString lastWord = rest.sliced(words.last().begin, words.last().end - words.last().begin);
    const QString repairedWord = repairMojibake(lastWord);
    if (repairedWord == lastWord || !UnicodeText::isCyrillic(UnicodeText::lastScalar(repairedWord)))
        return std::nullopt;
    return TruncatedName{repairMojibake(rest), static_cast<std::uint8_t>(last)};
}

bool completes(const QString& candidate, const TruncatedName& name) {
    if (candidate.isEmpty())
        return false;
    const qsizetype lastStart = UnicodeText::lastCharacterStart(candidate);
    // A character of two UTF-8 bytes is a single scalar U+0080...U+07FF.
    if (lastStart != candidate.size() - 1)
        return false;
    const char16_t last = candidate[lastStart].unicode();
    if (last < 0x0080 || last > 0x07FF)
        return false;
    const auto lead = static_cast<std::uint8_t>(0xC0 | (last >> 6));
    if (lead != name.lead)
        return false;
    return UnicodeText::equalIgnoringCase(QStringView(candidate).first(lastStart), name.prefix);
}

QString comparisonKey(const QString& text) {
    return UnicodeText::collapseWhitespace(UnicodeText::composed(clean(text)));
}

}  // namespace orvanta::RadioMetadataText
