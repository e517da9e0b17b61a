#include "artwork/ArtworkLoader.h"

#include "artwork/ArtworkLimits.h"
#include "artwork/BackgroundWork.h"
#include "artwork/CacheFreshness.h"
#include "artwork/ImageResponseCheck.h"
#include "artwork/ImageThumbnail.h"
#include "artwork/PersonalArtwork.h"

#include <QCoreApplication>
#include <QNetworkCacheMetaData>
#include <QNetworkDiskCache>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <array>
#include <memory>

namespace orvanta {

namespace {

// Seconds without progress before a download fails. A stalled image host
// should not hold a picture for a minute; a slow but moving one may take
// as long as it needs.
constexpr double idleTimeoutSeconds = 15.0;
constexpr qint64 readPieceBytes = 64 * 1024;

Failure undecodable(const QString& reason) {
    return Failure::url(UrlError::cannotDecodeContentData, reason);
}

HttpRequest imageRequest(const QUrl& address, bool refresh) {
    HttpRequest request(address, idleTimeoutSeconds);
    if (refresh) {
        request.cachePolicy = CachePolicy::reloadIgnoringCache;
        request.setHeader("Cache-Control", "no-cache");
    }
    return request;
}

// Checks and converts a received body on the worker thread.
Outcome<QByteArray> thumbnailOfDownload(const QByteArray& body, ThumbnailMemo& memo) {
    const std::optional<ImageHeader> header = ImageThumbnail::readHeader(body);
    if (!header)
        return undecodable(QStringLiteral("The body is no picture."));
    const QSize size = header->size;
    if (size.width() < 1 || size.height() < 1 || size.width() > ArtworkLimits::maximumImageSide ||
        size.height() > ArtworkLimits::maximumImageSide) {
        return undecodable(QStringLiteral("The picture is %1 × %2 pixels, above %3.")
                               .arg(size.width())
                               .arg(size.height())
                               .arg(ArtworkLimits::maximumImageSide));
    }
    const QByteArray key = ThumbnailMemo::keyFor(body, ArtworkLimits::thumbnailMaxSide,
                                                 ArtworkLimits::downloadJpegQuality);
    if (auto known = memo.find(key))
        return *known;
    Outcome<QByteArray> jpeg = ImageThumbnail::makeJpeg(
        body, *header, ArtworkLimits::thumbnailMaxSide, ArtworkLimits::downloadJpegQuality);
    if (jpeg)
        memo.insert(key, *jpeg);
    return jpeg;
}

Outcome<QByteArray> thumbnailOfPhoto(const QByteArray& bytes) {
    const std::optional<ImageHeader> header = ImageThumbnail::readHeader(bytes);
    if (!header)
        return undecodable(QStringLiteral("The photo is no picture."));
    // Other formats decode at full size first; JPEG decodes straight to a
    // fraction of it, so a very large camera photo is still taken.
    const qint64 pixels = qint64(header->size.width()) * header->size.height();
    const qint64 limit = header->format == "jpeg" ? ArtworkLimits::maximumJpegPhotoPixels
                                                  : ArtworkLimits::maximumPhotoPixels;
    if (pixels > limit) {
        return undecodable(
            QStringLiteral("The photo has %1 pixels, above %2.").arg(pixels).arg(limit));
    }
    return ImageThumbnail::makeJpeg(bytes, *header, ArtworkLimits::thumbnailMaxSide,
                                    ArtworkLimits::photoJpegQuality);
}

// The token of one operation: cancelled by its caller or by the loader's
// end. The source is shared with the loader's link so that it stays alive
// while its cancellation resumes (and finishes) the operation.
class OperationToken {
public:
    OperationToken(const CancelToken& caller, const CancelToken& lifetime)
        : source_(std::make_shared<CancelSource>(CancelSource::linkedTo(caller))) {
        lifetimeLink_ = lifetime.onCancel([source = source_] { source->cancel(); });
    }
    CancelToken token() const { return source_->token(); }

private:
    std::shared_ptr<CancelSource> source_;
    CancelRegistration lifetimeLink_;
};

bool sameHeader(const QNetworkCacheMetaData::RawHeaderList& stored, const HttpResponse& response,
                QByteArrayView name) {
    std::optional<QByteArray> storedValue;
    for (const auto& [key, value] : stored) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            storedValue = value;
    }
    return storedValue == response.header(name);
}

}  // namespace

HttpSessionConfiguration ArtworkLoader::defaultSessionConfiguration() {
    HttpSessionConfiguration configuration;
    configuration.cacheFolderName = QStringLiteral("RadioArtwork");
    configuration.diskCacheCapacity = ArtworkLimits::httpCacheDiskBytes;
    return configuration;
}

ArtworkLoader::ArtworkLoader(QObject* parent)
    : QObject(parent),
      session_(new HttpSession(defaultSessionConfiguration(), this)),
      clock_(Clock::system()),
      memo_(ArtworkLimits::memoryCacheBytes) {
    worker_.setMaxThreadCount(1);
}

ArtworkLoader::ArtworkLoader(HttpSession& session, Clock& clock, QObject* parent)
    : QObject(parent), session_(&session), clock_(clock), memo_(ArtworkLimits::memoryCacheBytes) {
    worker_.setMaxThreadCount(1);
}

ArtworkLoader::~ArtworkLoader() {
    lifetime_.cancel();
    // Work on the worker delivers its result to this object; let it finish
    // while the object is still whole. What it delivers is then dropped.
    worker_.waitForDone();
}

ArtworkLoader& ArtworkLoader::shared() {
    QCoreApplication* application = QCoreApplication::instance();
    Q_ASSERT(application && QThread::currentThread() == application->thread());
    // Owned by the application so that it goes before Qt's own teardown.
    static QPointer<ArtworkLoader> instance;
    if (!instance)
        instance = new ArtworkLoader(application);
    return *instance;
}

Task<Outcome<QByteArray>> ArtworkLoader::loadImage(QUrl address, bool refresh, CancelToken token) {
    if (token.isCancelled())
        co_return Cancelled{};
    if (!refresh) {
        if (auto refreshed = refreshedImages_.find(address))
            co_return *refreshed;
    }
    Task<Outcome<QByteArray>> downloading = download(address, refresh, token);
    Outcome<QByteArray> bytes = co_await downloading;
    if (!bytes)
        co_return bytes;
    if (token.isCancelled())
        co_return Cancelled{};
    if (refresh && !address.isLocalFile())
        refreshedImages_.store(address, *bytes);
    // A refreshed copy stored by another load while this one waited wins.
    if (auto refreshed = refreshedImages_.find(address))
        co_return *refreshed;
    co_return bytes;
}

Task<Outcome<QByteArray>> ArtworkLoader::download(QUrl address, bool refresh, CancelToken token) {
    if (token.isCancelled())
        co_return Cancelled{};
    if (address.isLocalFile()) {
        OperationToken operation(token, lifetime_.token());
        Task<Outcome<QByteArray>> reading = runInBackground<QByteArray>(
            worker_, this, [address] { return PersonalArtwork::readPhoto(address); },
            operation.token());
        co_return co_await reading;
    }
    if (address.scheme() != QLatin1String("https")) {
        co_return Failure::url(
            UrlError::unsupportedURL,
            QStringLiteral("%1 is not an HTTPS address.").arg(address.toString()));
    }
    Task<Outcome<QByteArray>> downloading = downloadFromNetwork(address, refresh, token);
    co_return co_await downloading;
}

Task<Outcome<QByteArray>> ArtworkLoader::downloadFromNetwork(QUrl address, bool refresh,
                                                             CancelToken callerToken) {
    OperationToken operation(callerToken, lifetime_.token());
    const CancelToken token = operation.token();
    std::unique_ptr<HttpStream> stream = session_->openStream(imageRequest(address, refresh));

    Task<Outcome<HttpResponse>> responding = stream->response(token);
    Outcome<HttpResponse> head = co_await responding;
    if (!head)
        co_return head.propagate<QByteArray>();
    if (std::optional<Failure> refusal = checkImageResponse(*head)) {
        stream->cancel();
        forgetRefusedResponse(address, *head);
        co_return *refusal;
    }

    QByteArray body;
    if (head->expectedLength > 0)
        body.reserve(head->expectedLength);
    for (;;) {
        // Never asks for more than one byte beyond the bound, so that the
        // buffer cannot outgrow it by more than that byte.
        const qint64 wanted =
            std::min(readPieceBytes, ArtworkLimits::maximumDownloadBytes + 1 - body.size());
        Task<Outcome<std::optional<QByteArray>>> reading = stream->read(token, wanted);
        Outcome<std::optional<QByteArray>> piece = co_await reading;
        if (!piece)
            co_return piece.propagate<QByteArray>();
        if (!piece->has_value())
            break;
        body += **piece;
        if (body.size() > ArtworkLimits::maximumDownloadBytes) {
            stream->cancel();
            forgetRefusedResponse(address, *head);
            co_return Failure::url(UrlError::dataLengthExceedsMaximum,
                                   QStringLiteral("The body is longer than %1 bytes.")
                                       .arg(ArtworkLimits::maximumDownloadBytes));
        }
    }
    stream.reset();
    if (token.isCancelled())
        co_return Cancelled{};

    ThumbnailMemo* memo = &memo_;
    Task<Outcome<QByteArray>> converting = runInBackground<QByteArray>(
        worker_, this, [body, memo] { return thumbnailOfDownload(body, *memo); }, token);
    Outcome<QByteArray> jpeg = co_await converting;
    if (jpeg.failed())
        forgetRefusedResponse(address, *head);
    if (!jpeg)
        co_return jpeg;
    if (refresh)
        cacheFreshResponse(address, *head, body);
    co_return jpeg;
}

// The HTTP layer may already have cached an answer that the loader refuses
// (a page in place of a picture, a cut-off or oversized image). Such an entry
// is removed, so that the next load asks the server again. An entry that
// holds another answer (an earlier good copy) is left alone.
void ArtworkLoader::forgetRefusedResponse(const QUrl& address, const HttpResponse& response) {
    QNetworkDiskCache* cache = session_->cache();
    if (!cache)
        return;
    static constexpr std::array<QByteArrayView, 4> identifying = {"Date", "ETag", "Last-Modified",
                                                                  "Content-Length"};
    for (const QUrl& url : {address, response.finalUrl}) {
        const QNetworkCacheMetaData stored = cache->metaData(url);
        if (!stored.isValid())
            continue;
        const bool same = std::all_of(
            identifying.begin(), identifying.end(),
            [&](QByteArrayView name) { return sameHeader(stored.rawHeaders(), response, name); });
        if (same)
            cache->remove(url);
    }
}

// A later ordinary load of the address then gets this fresh copy.
void ArtworkLoader::cacheFreshResponse(const QUrl& address, HttpResponse response,
                                       const QByteArray& body) {
    // The body is stored as decoded by the HTTP layer; headers describing the
    // transfer encoding or the length on the wire would misdescribe it.
    response.headers.removeIf([](const auto& header) {
        return header.first.compare("Content-Encoding", Qt::CaseInsensitive) == 0 ||
               header.first.compare("Content-Length", Qt::CaseInsensitive) == 0 ||
               header.first.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0;
    });
    if (!session_->storeCachedResponse(address, response, body))
        return;
    if (const std::optional<QDateTime> expiry = freshnessExpiry(response, clock_.wallNow())) {
        QNetworkDiskCache* cache = session_->cache();
        QNetworkCacheMetaData stored = cache->metaData(address);
        stored.setExpirationDate(*expiry);
        cache->updateMetaData(stored);
    }
}

Task<Outcome<QByteArray>> ArtworkLoader::preparePhoto(QByteArray bytes, CancelToken token) {
    if (token.isCancelled())
        co_return Cancelled{};
    if (bytes.size() > ArtworkLimits::maximumPhotoInputBytes) {
        co_return undecodable(QStringLiteral("The photo is larger than %1 bytes.")
                                  .arg(ArtworkLimits::maximumPhotoInputBytes));
    }
    OperationToken operation(token, lifetime_.token());
    Task<Outcome<QByteArray>> converting = runInBackground<QByteArray>(
        worker_, this, [bytes] { return thumbnailOfPhoto(bytes); }, operation.token());
    co_return co_await converting;
}

}  // namespace orvanta
