#pragma once

#include "artwork/RefreshedImages.h"
#include "artwork/ThumbnailMemo.h"
#include "platform/Cancellation.h"
#include "platform/Clock.h"
#include "platform/HttpSession.h"
#include "platform/Outcome.h"
#include "platform/Task.h"

#include <QByteArray>
#include <QObject>
#include <QThreadPool>
#include <QUrl>

namespace orvanta {

// Loads pictures for the views: network images are fetched over HTTPS only,
// checked and bounded before they are decoded, and handed out as upright
// JPEGs of at most 768 pixels; personal photo files are handed out as they
// are stored.
//
// Operations run as coroutines on the thread that made the loader (the main
// thread for the shared one) and never block it: a download waits for the
// network without holding anything, and decoding, scaling, encoding and
// file reads run one at a time on the loader's own worker thread. Every
// operation ends with its value, a Failure, or Cancelled when its token is
// cancelled or the loader is destroyed.
class ArtworkLoader : public QObject {
    Q_OBJECT

public:
    // With the default session, which keeps received images in its HTTP cache
    // "RadioArtwork" under the cache folder.
    explicit ArtworkLoader(QObject* parent = nullptr);
    // With the caller's session, which must outlive the loader; `clock`
    // dates the responses the loader stores in the session's cache.
    explicit ArtworkLoader(HttpSession& session, Clock& clock = Clock::system(),
                           QObject* parent = nullptr);
    ~ArtworkLoader() override;

    // The application's loader, made with the default session on first use.
    // Main thread only.
    static ArtworkLoader& shared();
    static HttpSessionConfiguration defaultSessionConfiguration();

    // The picture at `address`. Without refresh a copy kept by an earlier
    // load with refresh is answered from memory; with refresh the server is
    // asked again and the answer is kept (network addresses only).
    Task<Outcome<QByteArray>> loadImage(QUrl address, bool refresh, CancelToken token = {});
    // The picture at `address`, from the network or the HTTP cache (with
    // refresh: from the server, and the fresh answer replaces the cached
    // one), or from a personal photo file.
    Task<Outcome<QByteArray>> download(QUrl address, bool refresh, CancelToken token = {});
    // A photo the user chose, as a JPEG ready for `PersonalArtwork::storePhoto`.
    Task<Outcome<QByteArray>> preparePhoto(QByteArray bytes, CancelToken token = {});

    const RefreshedImages& refreshedImages() const { return refreshedImages_; }
    HttpSession& session() const { return *session_; }

private:
    Task<Outcome<QByteArray>> downloadFromNetwork(QUrl address, bool refresh, CancelToken token);
    void forgetRefusedResponse(const QUrl& address, const HttpResponse& response);
    void cacheFreshResponse(const QUrl& address, HttpResponse response, const QByteArray& body);

    HttpSession* session_;
    Clock& clock_;
    // One thread, so the loader's heavy work runs one piece at a time and
    // the memo needs no lock.
    QThreadPool worker_;
    ThumbnailMemo memo_;  // used on worker_ only
    RefreshedImages refreshedImages_;
    // Cancelled on destruction: ends every operation still in flight.
    CancelSource lifetime_;
};

}  // namespace orvanta
