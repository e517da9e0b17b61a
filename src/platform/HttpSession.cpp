#include "platform/HttpSession.h"

#include "platform/Folders.h"
#include "platform/Logging.h"
#include "platform/ReplyDriver.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkCacheMetaData>
#include <QNetworkDiskCache>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QThread>
#include <QTimer>

namespace orvanta {

namespace {

QList<QSslCertificate> additionalCertificates() {
    static const QList<QSslCertificate> certificates = [] {
        const QString path = qEnvironmentVariable("ORVANTA_CA_FILE");
        if (path.isEmpty())
            return QList<QSslCertificate>{};
        QList<QSslCertificate> loaded = QSslCertificate::fromPath(path, QSsl::Pem);
        if (loaded.isEmpty())
            qCWarning(lcNetwork) << "ORVANTA_CA_FILE holds no certificate:" << path;
        return loaded;
    }();
    return certificates;
}

// The system's roots. The distribution's single bundle file parses in half
// the time of the hashed certificate folder, which lists every root twice.
QList<QSslCertificate> systemRoots() {
    for (const char* bundle :
         {"/etc/ssl/certs/ca-certificates.crt", "/etc/pki/tls/certs/ca-bundle.crt"}) {
        QList<QSslCertificate> roots =
            QSslCertificate::fromPath(QString::fromLatin1(bundle), QSsl::Pem);
        if (!roots.isEmpty())
            return roots;
    }
    return QSslConfiguration::systemCaCertificates();
}

QSslConfiguration trustedConfiguration() {
    static const QSslConfiguration configuration = [] {
        QSslConfiguration result = QSslConfiguration::defaultConfiguration();
        const QList<QSslCertificate> extra = additionalCertificates();
        if (!extra.isEmpty()) {
            // Setting the list replaces on-demand loading of the system roots,
            // so the system's own are added explicitly: the extra CA comes on
            // top of the system trust, never instead of it.
            result.setCaCertificates(systemRoots() + extra);
        }
        return result;
    }();
    return configuration;
}

bool isSupportedScheme(const QUrl& url) {
    const QString scheme = url.scheme();
    return (scheme == QLatin1String("https") || scheme == QLatin1String("http")) &&
           !url.host().isEmpty();
}

}  // namespace

int installAdditionalTrust() {
    QSslConfiguration::setDefaultConfiguration(trustedConfiguration());
    return static_cast<int>(additionalCertificates().size());
}

HttpSession::HttpSession(Configuration configuration, QObject* parent)
    : QObject(parent),
      configuration_(std::move(configuration)),
      manager_(new QNetworkAccessManager(this)) {
    manager_->setRedirectPolicy(QNetworkRequest::UserVerifiedRedirectPolicy);
    manager_->setAutoDeleteReplies(false);
    if (!configuration_.cacheFolderName.isEmpty()) {
        cache_ = new QNetworkDiskCache(this);
        cache_->setCacheDirectory(Folders::cacheFolder() + QLatin1Char('/') +
                                  configuration_.cacheFolderName);
        cache_->setMaximumCacheSize(configuration_.diskCacheCapacity);
        manager_->setCache(cache_);
    }
}

HttpSession::~HttpSession() = default;

HttpSession& HttpSession::shared() {
    QCoreApplication* application = QCoreApplication::instance();
    if (application && QThread::currentThread() == application->thread()) {
        // Owned by the application so that it goes before Qt's own teardown.
        static QPointer<HttpSession> mainSession;
        if (!mainSession)
            mainSession = new HttpSession(application);
        return *mainSession;
    }
    thread_local std::unique_ptr<HttpSession> session = std::make_unique<HttpSession>();
    return *session;
}

std::shared_ptr<ReplyDriver> HttpSession::send(const HttpRequest& request) {
    QNetworkRequest networkRequest(request.url);
    networkRequest.setSslConfiguration(trustedConfiguration());
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                QNetworkRequest::UserVerifiedRedirectPolicy);
    networkRequest.setMaximumRedirectsAllowed(16);
    networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                                request.cachePolicy == CachePolicy::reloadIgnoringCache
                                    ? QNetworkRequest::AlwaysNetwork
                                    : QNetworkRequest::PreferNetwork);
    for (const auto& [name, value] : request.headers)
        networkRequest.setRawHeader(name, value);
    QNetworkReply* reply = manager_->get(networkRequest);
    // Bound what Qt buffers ahead of a slow reader; the socket waits instead.
    reply->setReadBufferSize(1 << 20);
    // Drivers are often dropped from inside their own callbacks; they are
    // silenced at once and freed from the event loop.
    return std::shared_ptr<ReplyDriver>(
        new ReplyDriver(reply, request.timeout, configuration_.resourceTimeout),
        [](ReplyDriver* driver) {
            driver->cancel();
            driver->deleteLater();
        });
}

Task<Outcome<HttpBody>> HttpSession::fetch(HttpRequest request, qint64 maxBytes,
                                           CancelToken token) {
    if (token.isCancelled())
        co_return Cancelled{};
    if (!isSupportedScheme(request.url)) {
        co_return Failure::url(UrlError::unsupportedURL, request.url.toString());
    }
    Completion<Outcome<HttpBody>> completion;
    std::shared_ptr<ReplyDriver> driver = send(request);
    QByteArray body;
    auto tooLong = [maxBytes] {
        return Failure::url(UrlError::dataLengthExceedsMaximum,
                            QStringLiteral("The body is longer than %1 bytes.").arg(maxBytes));
    };
    driver->onHead = [&](const HttpResponse& response) {
        if (response.expectedLength > maxBytes &&
            !response.header("Content-Encoding").has_value()) {
            driver->cancel();
            completion.complete(tooLong());
        }
    };
    driver->onReadable = [&] {
        body += driver->reply()->read(maxBytes + 1 - body.size());
        if (body.size() > maxBytes) {
            driver->cancel();
            completion.complete(tooLong());
        }
    };
    driver->onFinished = [&](const std::optional<Failure>& failure) {
        if (failure) {
            completion.complete(*failure);
        } else {
            completion.complete(HttpBody{driver->response(), body});
        }
    };
    CancelRegistration registration = token.onCancel([&] {
        driver->cancel();
        completion.complete(Cancelled{});
    });
    co_return co_await completion.task();
}

bool HttpSession::storeCachedResponse(const QUrl& url, const HttpResponse& response,
                                      const QByteArray& body) {
    if (!cache_)
        return false;
    QNetworkCacheMetaData metaData;
    metaData.setUrl(url);
    QNetworkCacheMetaData::RawHeaderList headers;
    for (const auto& header : response.headers)
        headers.append(header);
    metaData.setRawHeaders(headers);
    QNetworkCacheMetaData::AttributesMap attributes;
    attributes.insert(QNetworkRequest::HttpStatusCodeAttribute, response.status);
    metaData.setAttributes(attributes);
    metaData.setSaveToDisk(true);
    if (auto modified = response.headerText("Last-Modified")) {
        metaData.setLastModified(QDateTime::fromString(*modified, Qt::RFC2822Date));
    }
    QIODevice* device = cache_->prepare(metaData);
    if (!device)
        return false;
    if (device->write(body) != body.size()) {
        cache_->remove(url);
        return false;
    }
    cache_->insert(device);
    return true;
}

// ---- HttpStream -------------------------------------------------------------

HttpStream::HttpStream(std::shared_ptr<ReplyDriver> driver) : driver_(std::move(driver)) {}
HttpStream::~HttpStream() {
    cancel();
}

void HttpStream::cancel() {
    if (driver_)
        driver_->cancel();
    // Taken out first: ending the wait resumes its coroutine right here.
    if (auto endWait = std::exchange(endWait_, nullptr))
        endWait();
}

Task<Outcome<HttpResponse>> HttpStream::response(CancelToken token) {
    auto driver = driver_;
    if (token.isCancelled())
        co_return Cancelled{};
    if (driver->headReceived())
        co_return driver->response();
    if (driver->isFinished()) {
        if (driver->finalFailure())
            co_return *driver->finalFailure();
    }
    Completion<Outcome<HttpResponse>> completion;
    // The caller resumes on a later turn of the loop, never inside Qt's
    // head signal: a reply answered from the disk cache has its whole body
    // ready then, and Qt schedules the reply's end from its next own read
    // signal, which would find nothing left if the caller read it at once.
    driver->onHead = [&driver, completion](const HttpResponse& response) {
        QMetaObject::invokeMethod(
            driver.get(), [completion, response] { completion.complete(response); },
            Qt::QueuedConnection);
    };
    driver->onFinished = [&](const std::optional<Failure>& failure) {
        if (failure) {
            completion.complete(*failure);
        } else if (driver->headReceived()) {
            completion.complete(driver->response());
        } else {
            completion.complete(Failure::url(UrlError::badServerResponse));
        }
    };
    CancelRegistration registration = token.onCancel([&] {
        driver->cancel();
        completion.complete(Cancelled{});
    });
    endWait_ = [completion] { completion.complete(Cancelled{}); };
    auto result = co_await completion.task();
    driver->onHead = nullptr;
    driver->onFinished = nullptr;
    endWait_ = nullptr;
    co_return result;
}

Task<Outcome<std::optional<QByteArray>>> HttpStream::read(CancelToken token, qint64 maxBytes) {
    using Result = Outcome<std::optional<QByteArray>>;
    auto driver = driver_;
    if (token.isCancelled())
        co_return Cancelled{};
    auto ready = [&]() -> std::optional<Result> {
        QNetworkReply* reply = driver->reply();
        if (!reply)
            return Result(Cancelled{});
        if (reply->bytesAvailable() > 0) {
            return Result(std::optional<QByteArray>(reply->read(maxBytes)));
        }
        if (driver->isFinished()) {
            if (driver->finalFailure())
                return Result(*driver->finalFailure());
            return Result(std::optional<QByteArray>());
        }
        return std::nullopt;
    };
    if (auto now = ready())
        co_return *now;
    Completion<Result> completion;
    auto poke = [&] {
        if (auto now = ready())
            completion.complete(*now);
    };
    driver->onReadable = poke;
    driver->onFinished = [&](const std::optional<Failure>&) { poke(); };
    CancelRegistration registration = token.onCancel([&] {
        driver->cancel();
        completion.complete(Cancelled{});
    });
    endWait_ = [completion] { completion.complete(Cancelled{}); };
    auto result = co_await completion.task();
    driver->onReadable = nullptr;
    driver->onFinished = nullptr;
    endWait_ = nullptr;
    co_return result;
}

std::unique_ptr<HttpStream> HttpSession::openStream(const HttpRequest& request) {
    return std::make_unique<HttpStream>(send(request));
}

// ---- DataTask ---------------------------------------------------------------

DataTask::DataTask(std::shared_ptr<ReplyDriver> driver, std::shared_ptr<Handler> handler)
    : driver_(std::move(driver)), handler_(std::move(handler)) {}
DataTask::~DataTask() {
    cancel();
}
void DataTask::cancel() {
    if (driver_)
        driver_->cancel();
    if (handler_)
        *handler_ = Handler{};
}

std::unique_ptr<DataTask> HttpSession::startDataTask(const HttpRequest& request,
                                                     DataTask::Handler handler) {
    auto shared = std::make_shared<DataTask::Handler>(std::move(handler));
    if (!isSupportedScheme(request.url)) {
        // Reported from the event loop, like every other outcome.
        QTimer::singleShot(0, this, [shared, url = request.url] {
            auto onComplete = shared->onComplete;
            if (onComplete)
                onComplete(Failure::url(UrlError::unsupportedURL, url.toString()));
        });
        return std::make_unique<DataTask>(nullptr, shared);
    }
    std::shared_ptr<ReplyDriver> driver = send(request);
    ReplyDriver* raw = driver.get();
    driver->onHead = [shared, raw](const HttpResponse& response) {
        auto onResponse = shared->onResponse;
        if (onResponse && !onResponse(response)) {
            auto onComplete = shared->onComplete;
            raw->cancel();
            if (onComplete)
                onComplete(Cancelled{});
        }
    };
    driver->onReadable = [shared, raw] {
        QByteArray data = raw->reply()->readAll();
        auto onData = shared->onData;
        if (!data.isEmpty() && onData)
            onData(data);
    };
    driver->onFinished = [shared](const std::optional<Failure>& failure) {
        auto onComplete = shared->onComplete;
        if (!onComplete)
            return;
        if (failure) {
            onComplete(*failure);
        } else {
            onComplete(Done{});
        }
    };
    return std::make_unique<DataTask>(std::move(driver), shared);
}

}  // namespace orvanta
