#include "stations/StationGenreEntry.h"

#include "stations/Graphemes.h"
#include "stations/JsonFields.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace orvanta {

namespace {

constexpr qsizetype maxGenreLength = 80;
constexpr qint64 freshWithGenreSeconds = 86400;
constexpr qint64 freshWithoutGenreSeconds = 21600;

bool containsControl(const QString& text) {
    const QList<uint> scalars = text.toUcs4();
    return std::any_of(scalars.begin(), scalars.end(), [](uint scalar) {
        const QChar::Category category = QChar::category(char32_t(scalar));
        return category == QChar::Other_Control || category == QChar::Other_Format;
    });
}

bool isPlaceholder(const QString& genre) {
    static const std::array<QString, 5> placeholders = {
        QStringLiteral("unknown"), QStringLiteral("undefined"), QStringLiteral("null"),
        QStringLiteral("n/a"), QStringLiteral("-")};
    const QString lowered = genre.toLower();
    return std::find(placeholders.begin(), placeholders.end(), lowered) != placeholders.end();
}

QString collapseWhiteSpace(const QString& text) {
    QStringList words;
    QString word;
    for (QChar c : text) {
        if (c.isSpace()) {
            if (!word.isEmpty())
                words.push_back(std::exchange(word, QString()));
        } else {
            word += c;
        }
    }
    if (!word.isEmpty())
        words.push_back(word);
    return words.join(u' ');
}

}  // namespace

QJsonObject StationGenreEntry::toJson() const {
    QJsonObject object{{QStringLiteral("checkedAt"), json::referenceSeconds(checkedAt)}};
    if (genre)
        object.insert(QStringLiteral("genre"), *genre);
    if (logoURL)
        object.insert(QStringLiteral("logoURL"), logoURL->text());
    if (checkedLogo)
        object.insert(QStringLiteral("checkedLogo"), *checkedLogo);
    return object;
}

Outcome<StationGenreEntry> StationGenreEntry::fromJson(const QJsonValue& value,
                                                       const QString& path) {
    json::Problem problem;
    std::optional<json::ObjectReader> reader = json::ObjectReader::open(value, path, problem);
    if (!reader)
        return problem.failure();
    StationGenreEntry entry;
    if (reader->read(QStringLiteral("genre"), entry.genre) &&
        reader->read(QStringLiteral("checkedAt"), entry.checkedAt) &&
        reader->read(QStringLiteral("logoURL"), entry.logoURL) &&
        reader->read(QStringLiteral("checkedLogo"), entry.checkedLogo)) {
        return entry;
    }
    return problem.failure();
}

QByteArray encodeStationGenres(const StationGenreEntries& entries) {
    QJsonObject object;
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        object.insert(it.key(), it.value().toJson());
    }
    return json::serialise(object);
}

Outcome<StationGenreEntries> decodeStationGenres(const QByteArray& json) {
    json::Problem problem;
    const std::optional<QJsonValue> document = json::parseDocument(json, problem);
    if (!document)
        return problem.failure();
    if (!document->isObject()) {
        problem.report({},
                       QStringLiteral("expected object, found ") + json::describeType(*document));
        return problem.failure();
    }
    const QJsonObject object = document->toObject();
    StationGenreEntries entries;
    for (auto it = object.begin(); it != object.end(); ++it) {
        Outcome<StationGenreEntry> entry =
            StationGenreEntry::fromJson(it.value(), u'"' + it.key() + u'"');
        if (!entry)
            return entry.failure();
        entries.insert(it.key(), std::move(entry).value());
    }
    return entries;
}

StationGenreEntries readStationGenres(const PreferenceStore& store) {
    const std::optional<QByteArray> stored = store.data(stationGenresPreferenceKey);
    if (!stored)
        return {};
    Outcome<StationGenreEntries> entries = decodeStationGenres(*stored);
    return entries ? std::move(entries).value() : StationGenreEntries();
}

void writeStationGenres(PreferenceStore& store, const StationGenreEntries& entries) {
    store.setData(stationGenresPreferenceKey, encodeStationGenres(entries));
}

std::optional<QString> normalizeGenre(const std::optional<QString>& raw,
                                      const StreamTextCleaner& clean) {
    if (!raw)
        return std::nullopt;
    const QString genre = collapseWhiteSpace(clean ? clean(*raw) : raw->trimmed());
    if (genre.isEmpty() || graphemeCount(genre) > maxGenreLength)
        return std::nullopt;
    if (containsControl(genre))
        return std::nullopt;
    if (genre.contains(u'<') || genre.contains(u'>'))
        return std::nullopt;
    if (isPlaceholder(genre))
        return std::nullopt;
    return genre;
}

bool isFresh(const StationGenreEntry& entry, const QDateTime& now) {
    if (!entry.checkedAt.isValid() || !now.isValid())
        return false;
    const qint64 elapsedMSecs = entry.checkedAt.msecsTo(now);
    const qint64 limitSeconds = entry.genre ? freshWithGenreSeconds : freshWithoutGenreSeconds;
    return elapsedMSecs >= 0 && elapsedMSecs < limitSeconds * 1000;
}

}  // namespace orvanta
