#pragma once

#include "platform/Cancellation.h"
#include "platform/HttpTypes.h"
#include "platform/Outcome.h"
#include "platform/Task.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkDiskCache;

namespace orvanta {

class ReplyDriver;

// A response body read piece by piece. The response head comes first; the
// transfer can be cancelled at any point (also by destroying the stream).
// Used on the thread that opened it.
class HttpStream {
public:
    explicit HttpStream(std::shared_ptr<ReplyDriver> driver);
    ~HttpStream();
    HttpStream(const HttpStream&) = delete;
    HttpStream& operator=(const HttpStream&) = delete;

    Task<Outcome<HttpResponse>> response(CancelToken token = {});
    // The next piece of the body, at most `maxBytes`; none at the end.
    Task<Outcome<std::optional<QByteArray>>> read(CancelToken token = {}, qint64 maxBytes = 65536);
    // Stops the transfer; a `response` or `read` still waiting ends Cancelled.
    void cancel();

private:
    std::shared_ptr<ReplyDriver> driver_;
    // Ends the wait in progress, if any: the driver runs no callback once
    // cancelled, so nothing else would.
    std::function<void()> endWait_;
};

// A transfer reporting through callbacks, all on the thread that started it:
// the response decision (return false to cancel), each received piece, and
// completion. After `cancel` (or destruction) no callback runs.
class DataTask {
public:
    struct Handler {
        std::function<bool(const HttpResponse&)> onResponse;
        std::function<void(const QByteArray&)> onData;
        // Done, a Failure, or Cancelled when onResponse declined.
        std::function<void(const Outcome<Done>&)> onComplete;
    };

    DataTask(std::shared_ptr<ReplyDriver> driver, std::shared_ptr<Handler> handler);
    ~DataTask();
    DataTask(const DataTask&) = delete;
    DataTask& operator=(const DataTask&) = delete;
    void cancel();

private:
    std::shared_ptr<ReplyDriver> driver_;
    std::shared_ptr<Handler> handler_;
};

struct HttpSessionConfiguration {
    // Limit on a whole transfer, in seconds; none for no limit.
    std::optional<double> resourceTimeout;
    // Response cache on disk under the cache folder; empty for none.
    QString cacheFolderName;
    qint64 diskCacheCapacity = 0;
};

// An HTTP client session over QNetworkAccessManager. Redirects are followed
// (also from HTTPS to HTTP: callers check the final address). Failures carry
// the URL-loading codes of Failure.h; cancellation is its own outcome.
// A session is used on the thread that created it.
class HttpSession : public QObject {
    Q_OBJECT

public:
    using Configuration = HttpSessionConfiguration;

    explicit HttpSession(QObject* parent = nullptr) : HttpSession(Configuration(), parent) {}
    explicit HttpSession(Configuration configuration, QObject* parent = nullptr);
    ~HttpSession() override;

    // The calling thread's default session (no response cache).
    static HttpSession& shared();

    // The whole body; more than `maxBytes` fails with dataLengthExceedsMaximum.
    Task<Outcome<HttpBody>> fetch(HttpRequest request, qint64 maxBytes, CancelToken token = {});
    std::unique_ptr<HttpStream> openStream(const HttpRequest& request);
    std::unique_ptr<DataTask> startDataTask(const HttpRequest& request, DataTask::Handler handler);

    // Stores a response with its body in the session's cache, as if it had
    // been received for `url`. False when the session has no cache.
    bool storeCachedResponse(const QUrl& url, const HttpResponse& response, const QByteArray& body);
    QNetworkDiskCache* cache() const { return cache_; }

private:
    std::shared_ptr<ReplyDriver> send(const HttpRequest& request);

    Configuration configuration_;
    QNetworkAccessManager* manager_;
    QNetworkDiskCache* cache_ = nullptr;
};

// The TLS trust of every connection: the system roots plus the PEM file named
// by ORVANTA_CA_FILE, when set. Returns the certificates added from the file.
int installAdditionalTrust();

}  // namespace orvanta
