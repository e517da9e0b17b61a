#include "artwork/MatchingText.h"

#include "artwork/CountryNames.h"
#include "artwork/CyrillicTransliteration.h"
#include "artwork/MatchingFolding.h"
#include "artwork/MatchingPatterns.h"
#include "nowplaying/UnicodeText.h"

namespace orvanta::CatalogMatching {

namespace {

using namespace Qt::Literals::StringLiterals;

const QString albumVersionEnding = u" album version"_s;

bool hasBracket(const QString& text) {
    for (QChar c : text) {
        if (c == u'(' || c == u'[')
            return true;
    }
    return false;
}

// Joining words that carry no performer: featuring words, "and" and the
// transliterated Ukrainian "та".
bool isJoiningWord(const QString& word) {
    return word == "feat"_L1 || word == "ft"_L1 || word == "featuring"_L1 || word == "and"_L1 ||
           word == "with"_L1 || word == "ta"_L1;
}

// Whether "vs" or "versus" can occur at all; the pattern is not worth
// running otherwise.
bool mayNameVersus(const QString& text) {
    return text.contains("vs"_L1, Qt::CaseInsensitive) ||
           text.contains("versus"_L1, Qt::CaseInsensitive);
}

}  // namespace

QString searchKey(const QString& text) {
    return Folding::joinedWords(Folding::foldedCaseAndDiacritics(text));
}

QString titleKey(const QString& title) {
    QString stripped = title;
    if (hasBracket(stripped)) {
        const QRegularExpression& bracket = MatchingPatterns::innermostBracket();
        // Each round replaces at least two characters by one, so it ends.
        for (QRegularExpressionMatch match = bracket.match(stripped); match.hasMatch();
             match = bracket.match(stripped))
            stripped.replace(match.capturedStart(), match.capturedLength(), u" "_s);
    }
    QString key = searchKey(stripped);
    if (key.isEmpty())
        key = searchKey(title);
    if (key.endsWith(albumVersionEnding))
        key.chop(albumVersionEnding.size());
    return key;
}

QString removeFeat(const QString& text) {
    if (!hasBracket(text))
        return text;
    return QString(text).remove(MatchingPatterns::featuringPart());
}

QString featuredArtists(const QString& title) {
    if (!hasBracket(title))
        return QString();
    const QRegularExpressionMatch match = MatchingPatterns::featuredPerformers().match(title);
    if (!match.hasMatch())
        return QString();
    return match.captured(0).remove(MatchingPatterns::featuringMarkup());
}

std::optional<QString> editStrippedTitle(const QString& title) {
    const QRegularExpressionMatch match = MatchingPatterns::editEnding().match(title);
    if (!match.hasMatch())
        return std::nullopt;
    QString rest = UnicodeText::trimmed(title.first(match.capturedStart()));
    if (rest.isEmpty())
        return std::nullopt;
    return rest;
}

bool titleCompatible(const QString& candidateTitle, const QString& queryTitle) {
    const QString query = searchKey(removeFeat(queryTitle));
    const QString candidate = searchKey(removeFeat(candidateTitle));
    if (query.endsWith(albumVersionEnding))
        return candidate == query ||
               candidate == query.first(query.size() - albumVersionEnding.size());
    if (editStrippedTitle(queryTitle))
        return candidate == query;
    return true;
}

bool titleMatches(const QString& candidateTitle, const QString& queryTitle) {
    return searchKey(candidateTitle) == searchKey(queryTitle) ||
           titleKey(candidateTitle) == titleKey(queryTitle);
}

QStringList splitArtists(const QString& artists) {
    const QStringList pieces =
        QString(artists).replace(MatchingPatterns::artistSeparator(), u"|"_s).split(u'|');
    QStringList result;
    for (const QString& piece : pieces) {
        QString name = UnicodeText::trimmed(piece);
        if (!name.isEmpty())
            result.append(std::move(name));
    }
    return result;
}

KeySet artistKeys(const QString& text) {
    const QString joined =
        mayNameVersus(text) ? QString(text).replace(MatchingPatterns::versus(), u" & "_s) : text;
    KeySet keys;
    for (const QString& word : Folding::words(Folding::lowerCased(joined))) {
        QString key = Folding::foldedDiacritics(transliteratedWord(UnicodeText::composed(word)));
        if (!key.isEmpty() && !isJoiningWord(key))
            keys.insert(std::move(key));
    }
    return keys;
}

QStringList nameVariants(const QString& artistSearchKey) {
    const QStringList words = artistSearchKey.split(u' ', Qt::SkipEmptyParts);
    if (words.size() >= 2) {
        const QSet<QString>& countries = countryNameKeys();
        for (qsizetype i = 1; i < words.size(); ++i) {
            if (countries.contains(words.sliced(i).join(u' ')))
                return {artistSearchKey, words.first(i).join(u' ')};
        }
    }
    return {artistSearchKey};
}

}  // namespace orvanta::CatalogMatching
