#include "artwork/ResultPicking.h"

#include "artwork/MatchingFolding.h"
#include "artwork/MatchingText.h"
#include "artwork/ResultAcceptance.h"

#include <QSet>

#include <algorithm>

namespace orvanta::CatalogMatching {

namespace {

using namespace Qt::Literals::StringLiterals;

// Real titles and performer lists are a few hundred characters at most. The
// bracket stripping and the featuring patterns take time that grows with the
// square of a text's length, so a text of thousands of characters (a broken
// or hostile answer; a catalog body may hold a megabyte) would hold the
// caller for minutes. Such a text names no track that is playing.
constexpr qsizetype longestMatchedText = 1000;

bool isMatchable(const std::optional<QString>& text) {
    return !text || text->size() <= longestMatchedText;
}

bool isMatchable(const Result& result) {
    return isMatchable(result.trackName) && isMatchable(result.artistName);
}

// The query as the rules compare it: its display title and artist and the
// title keys every rung compares entries with.
struct Query {
    Query(const RadioTrack& query, QString displayTitle, QString displayArtist, Catalog in)
        : track(query),
          title(std::move(displayTitle)),
          artist(std::move(displayArtist)),
          titleSearchKey(searchKey(title)),
          titleKey(CatalogMatching::titleKey(title)),
          plainTitleKey(searchKey(removeFeat(title))),
          catalog(in) {}

    const RadioTrack& track;
    QString title;           // displayTitle
    QString artist;          // displayArtist
    QString titleSearchKey;  // searchKey(title)
    QString titleKey;        // titleKey(title)
    QString plainTitleKey;   // searchKey(removeFeat(title))
    Catalog catalog;
};

std::optional<Query> queryOf(const RadioTrack& track, Catalog catalog) {
    std::optional<QString> title = track.displayTitle();
    std::optional<QString> artist = track.displayArtist();
    if (!title || !artist || !isMatchable(title) || !isMatchable(artist))
        return std::nullopt;
    return Query(track, std::move(*title), std::move(*artist), catalog);
}

// One catalog entry with the keys the rungs ask for, each computed on first
// use: the ladder asks for the same keys of the same entries again and again.
class Entry {
public:
    explicit Entry(const Result& result) : result_(&result) {}

    const Result& result() const { return *result_; }
    const std::optional<QString>& artistName() const { return result_->artistName; }
    const std::optional<QString>& trackName() const { return result_->trackName; }

    bool isSong() const { return result_->kind && *result_->kind == "song"_L1; }

    bool isAcceptable(Catalog catalog) {
        if (!acceptable_)
            acceptable_ = acceptable(*result_, catalog);
        return *acceptable_;
    }

    // searchKey of the title; empty without one.
    const QString& titleSearchKey() {
        if (!titleSearchKey_)
            titleSearchKey_ = searchKey(trackName().value_or(QString()));
        return *titleSearchKey_;
    }

    // Equal search keys or equal title keys; never without a title.
    bool titleMatches(const Query& query) {
        if (!titleMatch_) {
            titleMatch_ = trackName() && (titleSearchKey() == query.titleSearchKey ||
                                          titleKey(*trackName()) == query.titleKey);
        }
        return *titleMatch_;
    }

    // searchKey of the title without featuring parts.
    const QString& plainTitleKey() {
        if (!plainTitleKey_)
            plainTitleKey_ = searchKey(removeFeat(trackName().value_or(QString())));
        return *plainTitleKey_;
    }

    // artistKeys of the artist name, of the empty text without one.
    const KeySet& artistKeys() {
        if (!artistKeys_)
            artistKeys_ = CatalogMatching::artistKeys(artistName().value_or(QString()));
        return *artistKeys_;
    }

    const QString& artistSearchKey() {
        if (!artistSearchKey_)
            artistSearchKey_ = searchKey(artistName().value_or(QString()));
        return *artistSearchKey_;
    }

private:
    const Result* result_;
    std::optional<bool> acceptable_;
    std::optional<bool> titleMatch_;
    std::optional<QString> titleSearchKey_;
    std::optional<QString> plainTitleKey_;
    std::optional<KeySet> artistKeys_;
    std::optional<QString> artistSearchKey_;
};

using Entries = QList<Entry*>;

QList<Entry> entriesOf(const QList<Result>& results) {
    QList<Entry> entries;
    entries.reserve(results.size());
    for (const Result& result : results) {
        if (isMatchable(result))
            entries.emplace_back(result);
    }
    return entries;
}

Entries pointersTo(QList<Entry>& entries) {
    Entries pointers;
    pointers.reserve(entries.size());
    for (Entry& entry : entries)
        pointers.append(&entry);
    return pointers;
}

// The query completed with a chosen entry: the query's title and artist as
// received, its album or else the entry's.
RadioTrack completed(const RadioTrack& query, const Result& choice) {
    return RadioTrack{query.title, query.artist, query.album ? query.album : choice.collectionName,
                      upsizeArtwork(*choice.artworkUrl100), choice.trackViewUrl};
}

bool haveEqualArtistKeys(const Entries& candidates) {
    if (candidates.isEmpty())
        return false;
    const KeySet& first = candidates.first()->artistKeys();
    return std::all_of(candidates.begin() + 1, candidates.end(),
                       [&](Entry* candidate) { return candidate->artistKeys() == first; });
}

// The first candidate whose title without featuring parts is exactly the
// query's, else the first candidate.
Entry* preferringExactTitle(const Entries& candidates, const Query& query) {
    for (Entry* candidate : candidates) {
        if (candidate->plainTitleKey() == query.plainTitleKey)
            return candidate;
    }
    return candidates.first();
}

KeySet unionOf(KeySet a, const KeySet& b) {
    a.insert(b.begin(), b.end());
    return a;
}

// The artist with the title's featured performers, the artist alone, or the
// union of both key sets (any of the three may hold; the cheapest goes first).
bool performersMatch(Entry& entry, const KeySet& wanted) {
    const KeySet& own = entry.artistKeys();
    if (own == wanted)
        return true;
    const QString featured = featuredArtists(*entry.trackName());
    return artistKeys(*entry.artistName() + u' ' + featured) == wanted ||
           unionOf(own, artistKeys(featured)) == wanted;
}

// --- A name the station cut off in the middle of a Cyrillic letter.

std::optional<RadioTrack> pickForCutArtist(QList<Entry>& entries, const Query& query,
                                           const TruncatedName& cut) {
    Entries candidates;
    QSet<QString> completions;
    for (Entry& entry : entries) {
        if (entry.isSong() && entry.trackName() && entry.titleSearchKey() == query.titleSearchKey &&
            entry.artistName() && RadioMetadataText::completes(*entry.artistName(), cut) &&
            entry.isAcceptable(query.catalog)) {
            candidates.append(&entry);
            completions.insert(Folding::lowerCased(*entry.artistName()));
        }
    }
    // Two different completions leave the performer unknown.
    if (completions.size() != 1)
        return std::nullopt;
    const Result& choice = candidates.first()->result();
    if (!choice.artworkUrl100)
        return std::nullopt;
    return RadioTrack{query.track.title, choice.artistName,
                      query.track.album ? query.track.album : choice.collectionName,
                      upsizeArtwork(*choice.artworkUrl100), choice.trackViewUrl};
}

// --- The rungs of the ladder for a whole artist name.

Entry* byPerformers(const Entries& kept, const Query& query, const KeySet& wanted) {
    Entries candidates;
    for (Entry* entry : kept) {
        if (entry->isSong() && entry->trackName() && entry->artistName() &&
            entry->isAcceptable(query.catalog) && entry->titleMatches(query) &&
            performersMatch(*entry, wanted))
            candidates.append(entry);
    }
    return candidates.isEmpty() ? nullptr : preferringExactTitle(candidates, query);
}

std::optional<RadioTrack> pickResultFor(const QList<Result>& results, const Query& query,
                                        bool tryDjPrefix);

// Catalogs list "DJ Name Surname" where stations write "Name Surname". The
// entries found that way are picked among themselves under the catalog's
// name; the answer keeps the query's own title and artist.
std::optional<RadioTrack> byDjPrefix(const Entries& kept, const Query& query) {
    const QString key = searchKey(query.artist);
    if (!key.contains(u' ') || key.startsWith("dj "_L1))
        return std::nullopt;
    const QString wanted = "dj "_L1 + key;
    Entries collected;
    for (Entry* entry : kept) {
        if (entry->artistName() && entry->artistSearchKey() == wanted && entry->titleMatches(query))
            collected.append(entry);
    }
    if (!haveEqualArtistKeys(collected))
        return std::nullopt;
    QList<Result> listed;
    for (const Entry* entry : collected)
        listed.append(entry->result());
    const RadioTrack asListed{query.title, collected.first()->artistName(), query.track.album,
                              std::nullopt, std::nullopt};
    const std::optional<Query> listedQuery = queryOf(asListed, query.catalog);
    if (!listedQuery)
        return std::nullopt;
    const std::optional<RadioTrack> found = pickResultFor(listed, *listedQuery, false);
    if (!found)
        return std::nullopt;
    return RadioTrack{query.track.title, query.track.artist, found->album, found->artworkUrl,
                      found->storeURL};
}

// Catalogs write "Name Surname" where stations write only "Name". Short or
// generic names and groups ("A & B") are never extended.
Entry* byLongerCatalogArtist(const Entries& kept, const Query& query) {
    const QString key = searchKey(query.artist);
    if (Folding::scalarCount(key) < 4 || query.artist.contains(u'&') || key == "radio"_L1 ||
        key == "unknown"_L1 || key == "various"_L1)
        return nullptr;
    const QString prefix = key + u' ';
    Entries candidates;
    for (Entry* entry : kept) {
        if (entry->isSong() && entry->artistName() && entry->artistSearchKey().startsWith(prefix) &&
            !entry->artistName()->contains(u'&') && entry->isAcceptable(query.catalog) &&
            entry->titleMatches(query))
            candidates.append(entry);
    }
    return haveEqualArtistKeys(candidates) ? candidates.first() : nullptr;
}

std::u32string sortedKeyText(const KeySet& keys) {
    QString joined;
    for (const QString& key : keys) {
        if (!joined.isEmpty())
            joined += u' ';
        joined += key;
    }
    const QList<uint> scalars = joined.toUcs4();
    return std::u32string(scalars.begin(), scalars.end());
}

// At most one substitution (equal lengths) or one insertion or deletion.
bool withinOneEdit(const std::u32string& a, const std::u32string& b) {
    const std::u32string& longer = a.size() >= b.size() ? a : b;
    const std::u32string& shorter = a.size() >= b.size() ? b : a;
    if (longer.size() - shorter.size() > 1)
        return false;
    size_t i = 0;
    while (i < shorter.size() && shorter[i] == longer[i])
        ++i;
    if (i == shorter.size())
        return true;
    if (longer.size() == shorter.size())
        return std::equal(shorter.begin() + i + 1, shorter.end(), longer.begin() + i + 1);
    return std::equal(shorter.begin() + i, shorter.end(), longer.begin() + i + 1);
}

// A typing error of one letter in a long enough name.
Entry* byOneLetterApart(const Entries& kept, const Query& query) {
    const std::u32string wanted = sortedKeyText(artistKeys(query.artist));
    if (wanted.size() < 6)
        return nullptr;
    Entries candidates;
    for (Entry* entry : kept) {
        if (!entry->isSong() || !entry->isAcceptable(query.catalog) || !entry->titleMatches(query))
            continue;
        const std::u32string own = sortedKeyText(entry->artistKeys());
        if (own.size() >= 6 && withinOneEdit(wanted, own))
            candidates.append(entry);
    }
    return haveEqualArtistKeys(candidates) ? preferringExactTitle(candidates, query) : nullptr;
}

// --- The same performer in Cyrillic and Latin letters.

enum class Script { cyrillic, latin };

// Only letters of `script`, digits and blanks, with at least one letter.
bool isWrittenIn(const QString& key, Script script) {
    const QChar::Script wanted =
        script == Script::cyrillic ? QChar::Script_Cyrillic : QChar::Script_Latin;
    bool hasLetter = false;
    for (const char32_t scalar : key.toUcs4()) {
        if (scalar == U' ' || QChar::isDigit(scalar))
            continue;
        if (!QChar::isLetter(scalar) || QChar::script(scalar) != wanted)
            return false;
        hasLetter = true;
    }
    return hasLetter;
}

qsizetype letterCount(const QString& text) {
    const QList<uint> scalars = text.toUcs4();
    return std::count_if(scalars.begin(), scalars.end(),
                         [](uint scalar) { return QChar::isLetter(char32_t(scalar)); });
}

// Each blank-separated word through artistKeys; a word it drops stays as an
// empty word.
QString transliteratedWords(const QString& text) {
    QStringList words;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        const KeySet keys = artistKeys(word);
        words.append(QStringList(keys.begin(), keys.end()).join(u' '));
    }
    return words.join(u' ');
}

// Whether the Cyrillic key `cyrillic` spells the Latin key `latin`, allowing
// both usual spellings of х (kh, h) and г (h, g), and a country name after
// the name on one side.
bool spellsAlike(const QString& cyrillic, const QString& latin) {
    static const QString kha(QChar(0x0445));
    static const QString he(QChar(0x0433));
    const QStringList cyrillicVariants = nameVariants(cyrillic);
    const QStringList latinVariants = nameVariants(latin);
    for (qsizetype i = 0; i < cyrillicVariants.size(); ++i) {
        for (qsizetype j = 0; j < latinVariants.size(); ++j) {
            const QString& target = latinVariants[j];
            if ((i > 0 && j > 0) || letterCount(target) < 4)
                continue;
            for (const QString& kh : {u"kh"_s, u"h"_s}) {
                for (const QString& g : {u"h"_s, u"g"_s}) {
                    const QString respelled =
                        QString(cyrillicVariants[i]).replace(kha, kh).replace(he, g);
                    if (transliteratedWords(respelled) == target)
                        return true;
                }
            }
        }
    }
    return false;
}

Entry* byOtherScript(const Entries& entries, const Query& query) {
    if (splitArtists(query.artist).size() != 1)
        return nullptr;
    const QString queryArtist = searchKey(query.artist);
    const bool queryIsCyrillic = isWrittenIn(queryArtist, Script::cyrillic);
    if (!queryIsCyrillic && !isWrittenIn(queryArtist, Script::latin))
        return nullptr;
    const Script other = queryIsCyrillic ? Script::latin : Script::cyrillic;
    Entries matches;
    for (Entry* entry : entries) {
        if (!entry->isSong() || !entry->trackName() || !entry->artistName() ||
            entry->titleSearchKey() != query.titleSearchKey || !entry->isAcceptable(query.catalog))
            continue;
        const QString& catalogArtist = entry->artistSearchKey();
        if (!isWrittenIn(catalogArtist, other))
            continue;
        if (queryIsCyrillic ? spellsAlike(queryArtist, catalogArtist)
                            : spellsAlike(catalogArtist, queryArtist))
            matches.append(entry);
    }
    if (matches.isEmpty())
        return nullptr;
    const QString& performer = matches.first()->artistSearchKey();
    const bool agree = std::all_of(matches.begin(), matches.end(), [&](Entry* match) {
        return match->artistSearchKey() == performer;
    });
    return agree ? matches.first() : nullptr;
}

// --- The whole ladder.

std::optional<RadioTrack> pickResultFor(const QList<Result>& results, const Query& query,
                                        bool tryDjPrefix) {
    QList<Entry> entries = entriesOf(results);
    if (const std::optional<TruncatedName> cut = query.track.artistTruncation())
        return pickForCutArtist(entries, query, *cut);

    // For an edit or an album version only that edition will do.
    const bool editionMatters = editStrippedTitle(query.title).has_value() ||
                                query.plainTitleKey.endsWith(" album version"_L1);
    Entries kept;
    for (Entry& entry : entries) {
        if (!editionMatters || titleCompatible(entry.trackName().value_or(QString()), query.title))
            kept.append(&entry);
    }

    const KeySet wanted = artistKeys(query.artist + u' ' + featuredArtists(query.title));
    if (wanted.empty() || query.titleKey.isEmpty())
        return std::nullopt;

    Entry* choice = byPerformers(kept, query, wanted);
    if (!choice && tryDjPrefix) {
        if (std::optional<RadioTrack> found = byDjPrefix(kept, query))
            return found;
    }
    if (!choice)
        choice = byLongerCatalogArtist(kept, query);
    if (!choice)
        choice = byOneLetterApart(kept, query);
    if (!choice)
        choice = byOtherScript(kept, query);
    if (!choice || !choice->result().artworkUrl100)
        return std::nullopt;
    return completed(query.track, choice->result());
}

}  // namespace

std::optional<RadioTrack> pickResult(const QList<Result>& results, const RadioTrack& query,
                                     Catalog catalog) {
    const std::optional<Query> keys = queryOf(query, catalog);
    if (!keys)
        return std::nullopt;
    return pickResultFor(results, *keys, true);
}

std::optional<Result> crossScriptMatch(const QList<Result>& results, const RadioTrack& query,
                                       Catalog catalog) {
    const std::optional<Query> keys = queryOf(query, catalog);
    if (!keys)
        return std::nullopt;
    QList<Entry> entries = entriesOf(results);
    if (const Entry* match = byOtherScript(pointersTo(entries), *keys))
        return match->result();
    return std::nullopt;
}

std::optional<RadioTrack> pickUnedited(const QList<Result>& results, const RadioTrack& query,
                                       Catalog catalog) {
    const std::optional<QString> title = query.displayTitle();
    const std::optional<QString> artist = query.displayArtist();
    if (!title || !artist || !isMatchable(title) || !isMatchable(artist))
        return std::nullopt;
    const std::optional<QString> unedited = editStrippedTitle(*title);
    if (!unedited)
        return std::nullopt;
    std::set<KeySet> performers;
    for (const QString& piece : splitArtists(*artist))
        performers.insert(artistKeys(piece));
    const QString wantedTitle = searchKey(*unedited);
    for (const Result& result : results) {
        if (!isMatchable(result) || result.kind != u"song"_s || !acceptable(result, catalog) ||
            !result.trackName || searchKey(removeFeat(*result.trackName)) != wantedTitle ||
            !result.artistName)
            continue;
        const QStringList pieces =
            splitArtists(*result.artistName) + splitArtists(featuredArtists(*result.trackName));
        const bool sharesPerformer =
            std::any_of(pieces.begin(), pieces.end(), [&](const QString& piece) {
                const KeySet keys = artistKeys(piece);
                return !keys.empty() && performers.contains(keys);
            });
        if (sharesPerformer && result.artworkUrl100) {
            RadioTrack answer = query;
            answer.artworkUrl = upsizeArtwork(*result.artworkUrl100);
            return answer;
        }
    }
    return std::nullopt;
}

}  // namespace orvanta::CatalogMatching
