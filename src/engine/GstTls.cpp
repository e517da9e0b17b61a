// GIO names a struct member "signals", which Qt defines as a keyword: the
// GLib headers come first.
#include <gio/gio.h>
#include <gst/gst.h>

#include "engine/GstTls.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace orvanta {

namespace {

GTlsDatabase* extraTrustDatabase() {
    static std::once_flag once;
    static GTlsDatabase* database = nullptr;
    std::call_once(once, [] {
        const QString extra = qEnvironmentVariable("ORVANTA_CA_FILE");
        if (extra.isEmpty())
            return;
        // One bundle with the system's roots and the extra CA, so that the
        // extra trust adds to the system's instead of replacing it.
        QByteArray bundle;
        for (const char* system :
             {"/etc/ssl/certs/ca-certificates.crt", "/etc/pki/tls/certs/ca-bundle.crt"}) {
            QFile file(QString::fromLatin1(system));
            if (file.open(QIODevice::ReadOnly)) {
                bundle += file.readAll() + '\n';
                break;
            }
        }
        QFile extraFile(extra);
        if (!extraFile.open(QIODevice::ReadOnly))
            return;
        bundle += extraFile.readAll();
        const QString folder =
            qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")
                ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
                : QDir::tempPath();
        const QString path =
            folder +
            QStringLiteral("/orvanta-radio-trust-%1.pem").arg(QCoreApplication::applicationPid());
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(bundle) != bundle.size())
            return;
        out.close();
        GError* error = nullptr;
        database = g_tls_file_database_new(path.toLocal8Bit().constData(), &error);
        g_clear_error(&error);
        // GIO rereads the file whenever it builds a connection's trust list,
        // so it stays until the process ends.
        static QByteArray bundlePath;
        bundlePath = path.toLocal8Bit();
        std::atexit([] { ::remove(bundlePath.constData()); });
    });
    return database;
}

}  // namespace

void applyTlsTrust(GstElement* element) {
    if (!element || !g_object_class_find_property(G_OBJECT_GET_CLASS(element), "tls-database")) {
        return;
    }
    if (GTlsDatabase* database = extraTrustDatabase()) {
        g_object_set(element, "tls-database", database, nullptr);
    }
}

Failure failureFromGstError(const GError* error, const QString& debug) {
    const QString message = error ? QString::fromUtf8(error->message) : QString();
    if (error && error->domain == G_TLS_ERROR) {
        return Failure::url(error->code == G_TLS_ERROR_BAD_CERTIFICATE
                                ? UrlError::serverCertificateUntrusted
                                : UrlError::secureConnectionFailed,
                            message);
    }
    // souphttpsrc reports TLS trouble as a resource error and says so in its
    // texts ("Secure connection setup failed", "Unacceptable TLS certificate").
    const QString text = message + QLatin1Char(' ') + debug;
    if (text.contains(QLatin1String("certificate"), Qt::CaseInsensitive)) {
        return Failure::url(UrlError::serverCertificateUntrusted, message);
    }
    if (text.contains(QLatin1String("TLS"), Qt::CaseSensitive) ||
        text.contains(QLatin1String("Secure connection"), Qt::CaseInsensitive)) {
        return Failure::url(UrlError::secureConnectionFailed, message);
    }
    return Failure::url(UrlError::networkConnectionLost, message);
}

}  // namespace orvanta
