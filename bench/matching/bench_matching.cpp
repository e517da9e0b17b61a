// Cost of deciding which catalog entry is the playing track, and of the
// clean-up and comparison key every in-band title goes through first.
//   bench_matching [rounds]
// Prints nanoseconds per call (pickResult) or per title (clean,
// comparisonKey), the best of `rounds` runs (default 5).

#include "artwork/CatalogResult.h"
#include "artwork/ResultPicking.h"
#include "nowplaying/RadioMetadataText.h"
#include "nowplaying/RadioTrack.h"
#include "nowplaying/TextEncoding.h"

#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace orvanta;
using namespace orvanta::CatalogMatching;
using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int titleCount = 100'000;

const QStringList artists{
    u"Rick Astley"_s,  u"Океан Ельзи"_s, u"Édith Piaf"_s,       u"The Hardkiss"_s,
    u"Бумбокс"_s,      u"Daft Punk"_s,   u"Христина Соловій"_s, u"Sigur Rós"_s,
    u"Alpha & Beta"_s, u"Go_A"_s,        u"Kalush Orchestra"_s, u"Тіна Кароль"_s,
};
const QStringList titles{
    u"Never Gonna Give You Up"_s,
    u"Обійми"_s,
    u"Non, je ne regrette rien"_s,
    u"Helpless (Radio Edit)"_s,
    u"Квіти в волоссі"_s,
    u"One More Time"_s,
    u"Тримай (feat. Гурт)"_s,
    u"Hoppípolla"_s,
    u"Song - Album Version"_s,
    u"Шум"_s,
    u"Stefania"_s,
    u"Ніч яка місячна [Live]"_s,
};

// Performers of the catalog entries that are not the playing track.
const QStringList otherArtists{
    u"Христина Соловей"_s, u"Соловій"_s,   u"Kristina Solovii"_s, u"Alpha & Beta"_s,
    u"Тіна Кароль"_s,      u"Daft Punk"_s, u"Океан Ельзи"_s,      u"DJ Христина"_s,
};

// Distinct, ordinary in-band titles: "Artist - Title" with a number so that
// no two are the same text.
QStringList ordinaryTitles() {
    QStringList result;
    result.reserve(titleCount);
    for (int i = 0; i < titleCount; ++i) {
        result.append(artists[i % artists.size()] + u" - "_s + titles[(i / 7) % titles.size()] +
                      u' ' + QString::number(i));
    }
    return result;
}

QString utf8ReadAsLatin1(const QString& text) {
    return QString::fromLatin1(text.toUtf8());
}

QString windows1251ReadAsLatin1(const QString& text) {
    const std::optional<QByteArray> bytes =
        TextEncoding::encodeLossless(text, TextEncoding::Encoding::windows1251);
    return bytes ? QString::fromLatin1(*bytes) : text;
}

// The same titles damaged the three ways stations damage them: UTF-8 shown
// as Latin-1, Windows-1251 shown as Latin-1, and UTF-8 cut inside the last
// letter by a byte limit.
QStringList damagedTitles(const QStringList& ordinary) {
    QStringList result;
    result.reserve(ordinary.size());
    for (qsizetype i = 0; i < ordinary.size(); ++i) {
        const QString& title = ordinary[i];
        switch (i % 3) {
            case 0:
                result.append(utf8ReadAsLatin1(title));
                break;
            case 1:
                result.append(windows1251ReadAsLatin1(title));
                break;
            default:
                result.append(QString::fromLatin1(
                    (u"Христина Соловій - "_s + QString::number(i) + u" Тримай"_s)
                        .toUtf8()
                        .chopped(1)));
                break;
        }
    }
    return result;
}

Result entry(int number, const QString& artist, const QString& title) {
    return Result{artist,
                  title,
                  u"Album %1"_s.arg(number),
                  QUrl(u"https://is1-ssl.mzstatic.com/image/thumb/%1/100x100bb.jpg"_s.arg(number)),
                  QUrl(u"https://music.apple.com/ua/album/%1"_s.arg(number)),
                  u"song"_s};
}

// A full iTunes answer for a title search: 50 entries of the same and
// similar titles by other performers, with the playing track at `hit` (or
// nowhere when `hit` is negative, which runs the whole ladder of fallbacks).
QList<Result> answerWithHit(int hit) {
    QList<Result> results;
    for (int i = 0; i < 50; ++i) {
        if (i == hit) {
            results.append(entry(i, u"Христина Соловій"_s, u"Тримай"_s));
            continue;
        }
        const QString artist =
            otherArtists[i % otherArtists.size()] + (i % 4 == 0 ? u" & Friends"_s : u""_s);
        const QString title = i % 3 == 0   ? u"Тримай (Live)"_s
                              : i % 3 == 1 ? u"Тримай (feat. Someone %1)"_s.arg(i)
                                           : u"Тримай - Remastered %1"_s.arg(2000 + i);
        results.append(entry(i, artist, title));
    }
    return results;
}

volatile qsizetype sink = 0;

// Best of `rounds` runs of `body`, in nanoseconds per unit.
double bestNanoseconds(int rounds, double units, const std::function<void()>& body) {
    double best = 1e300;
    for (int round = 0; round < rounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        body();
        const std::chrono::duration<double, std::nano> elapsed =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count() / units);
    }
    return best;
}

void timeTitles(int rounds, const char* label, const QStringList& list) {
    const double clean = bestNanoseconds(rounds, double(list.size()), [&] {
        for (const QString& title : list)
            sink = sink + RadioMetadataText::clean(title).size();
    });
    const double key = bestNanoseconds(rounds, double(list.size()), [&] {
        for (const QString& title : list)
            sink = sink + RadioMetadataText::comparisonKey(title).size();
    });
    std::printf("clean, %-9s titles:         %8.0f ns per title\n", label, clean);
    std::printf("comparisonKey, %-9s titles: %8.0f ns per title\n", label, key);
}

void timePick(int rounds, const char* label, const QList<Result>& results, bool expectAnswer) {
    const RadioTrack query{u"Тримай"_s, u"Христина Соловій"_s, std::nullopt, std::nullopt,
                           std::nullopt};
    if (pickResult(results, query, Catalog::apple).has_value() != expectAnswer) {
        std::fprintf(stderr, "pickResult gave an unexpected answer (%s)\n", label);
        std::exit(1);
    }
    constexpr int calls = 500;
    const double nanoseconds = bestNanoseconds(rounds, calls, [&] {
        for (int i = 0; i < calls; ++i)
            sink = sink + pickResult(results, query, Catalog::apple).has_value();
    });
    std::printf("pickResult, 50 entries, %-22s %8.0f ns per call\n", label, nanoseconds);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    // Country names are built on first use; keep that out of the timings.
    pickResult(answerWithHit(-1), RadioTrack{u"Тримай"_s, u"Хтось"_s, {}, {}, {}}, Catalog::apple);

    timePick(rounds, "match at entry 40:", answerWithHit(40), true);
    timePick(rounds, "match at entry 0:", answerWithHit(0), true);
    timePick(rounds, "no match (all rungs):", answerWithHit(-1), false);

    const QStringList ordinary = ordinaryTitles();
    const QStringList damaged = damagedTitles(ordinary);
    timeTitles(rounds, "ordinary", ordinary);
    timeTitles(rounds, "damaged", damaged);
    return 0;
}
