#include "stations/CatalogCache.h"

#include "platform/Folders.h"
#include "stations/CatalogDecoding.h"
#include "stations/JsonFields.h"

#include <QFileInfo>
#include <QJsonObject>

namespace orvanta {

namespace {

const QString formatKey = QStringLiteral("format");
const QString receivedAtKey = QStringLiteral("receivedAt");
const QString etagKey = QStringLiteral("etag");
const QString dataKey = QStringLiteral("data");

// Base64 of the largest accepted catalog plus room for the other keys and a
// generous entity tag; a larger file cannot be one of ours.
constexpr qint64 cacheFileMaximumBytes = 2'000'000;

// Only the canonical padded form is accepted: decoding and encoding again
// must give the same text, which rules out stray characters, missing
// padding and padding in the middle.
std::optional<QByteArray> strictBase64(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() > 0x7f)
            return std::nullopt;
    }
    const QByteArray encoded = text.toLatin1();
    const QByteArray::FromBase64Result decoded = QByteArray::fromBase64Encoding(
        encoded, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.toBase64(QByteArray::Base64Encoding) != encoded)
        return std::nullopt;
    return decoded.decoded;
}

}  // namespace

QByteArray CatalogCache::encode() const {
    QJsonObject object{
        {formatKey, format},
        {receivedAtKey, json::referenceSeconds(receivedAt)},
        {dataKey, QString::fromLatin1(data.toBase64(QByteArray::Base64Encoding))},
    };
    if (etag)
        object.insert(etagKey, *etag);
    return json::serialise(object);
}

Outcome<CatalogCache> CatalogCache::decode(const QByteArray& json) {
    json::Problem problem;
    const std::optional<QJsonValue> document = json::parseDocument(json, problem);
    if (!document)
        return problem.failure();
    std::optional<json::ObjectReader> reader = json::ObjectReader::open(*document, {}, problem);
    if (!reader)
        return problem.failure();
    CatalogCache cache;
    QString base64;
    if (!reader->read(formatKey, cache.format) || !reader->read(receivedAtKey, cache.receivedAt) ||
        !reader->read(etagKey, cache.etag) || !reader->read(dataKey, base64)) {
        return problem.failure();
    }
    std::optional<QByteArray> data = strictBase64(base64);
    if (!data)
        return Failure::decoding(QStringLiteral("data: invalid Base64"));
    cache.data = std::move(*data);
    return cache;
}

QString defaultCatalogCacheFile() {
    return Folders::cacheFolder() + QStringLiteral("/com.orvanta.radio.mac/catalog.json");
}

std::optional<CatalogCache> readCatalogCacheFile(const QString& path) {
    // Only regular files: opening a pipe or a device left in its place would
    // block or never end.
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    Outcome<QByteArray> content = Folders::readWhole(path, cacheFileMaximumBytes);
    if (!content)
        return std::nullopt;
    Outcome<CatalogCache> cache = CatalogCache::decode(*content);
    if (!cache || cache->format != CatalogCache::currentFormat || !decodeCatalog(cache->data))
        return std::nullopt;
    return std::move(cache).value();
}

Outcome<Done> writeCatalogCacheFile(const QString& path, const CatalogCache& cache) {
    return Folders::writeAtomically(path, cache.encode());
}

}  // namespace orvanta
