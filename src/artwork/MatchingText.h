#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <set>

namespace orvanta::CatalogMatching {

// The words of an artist text as a set, spelled in Latin letters.
using KeySet = std::set<QString>;

// Lower-case words without diacritics, split at everything that is not a
// letter or digit and joined by single blanks: "Don’t Stop-Me (Live)" gives
// "don t stop me live".
QString searchKey(const QString& text);

// The search key of the title without its bracketed parts (innermost first,
// so nested brackets vanish) and without a trailing "album version". A title
// that is nothing but brackets keeps its whole key.
QString titleKey(const QString& title);

// The text without bracketed featuring parts: "Song (feat. X)" gives "Song".
QString removeFeat(const QString& text);

// The performers named in the title's first bracketed featuring part, with
// the brackets and the featuring word removed (not trimmed); empty when the
// title has no such part.
QString featuredArtists(const QString& title);

// The title without a trailing part that marks an edit or a mash-up ("Song
// (Radio Edit)", "Song - Club Mashup"), trimmed; none when there is no such
// part or nothing else is left.
std::optional<QString> editStrippedTitle(const QString& title);

// Whether a catalog title is the same edition as the query title: exact for
// album versions and edits, anything otherwise.
bool titleCompatible(const QString& candidateTitle, const QString& queryTitle);

// Whether two titles name the same song: equal search keys or equal title
// keys.
bool titleMatches(const QString& candidateTitle, const QString& queryTitle);

// The performers of an artist text split at "&", ",", ";" and at the words
// feat, ft, featuring, with, vs, versus, and, та and a lone x; trimmed, none
// empty, in their order.
QStringList splitArtists(const QString& artists);

// The set of performer words: lower case, Cyrillic transliterated, diacritics
// folded, joining words (feat, ft, featuring, and, with, ta) left out.
KeySet artistKeys(const QString& text);

// The artist search key, and when it ends in a country's name, also the
// words before that name ("okean elzy ukraine" gives "okean elzy ukraine" and
// "okean elzy"). The key itself comes first.
QStringList nameVariants(const QString& artistSearchKey);

}  // namespace orvanta::CatalogMatching
