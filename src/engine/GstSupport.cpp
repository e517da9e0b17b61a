#include "engine/GstSupport.h"

#include <gst/gst.h>

#include <mutex>

namespace orvanta {

bool ensureGStreamer(QString* error) {
    static std::once_flag once;
    static bool ready = false;
    static QString failure;
    std::call_once(once, [] {
        GError* gerror = nullptr;
        ready = gst_init_check(nullptr, nullptr, &gerror);
        if (!ready) {
            failure =
                gerror ? QString::fromUtf8(gerror->message) : QStringLiteral("gst_init failed");
            g_clear_error(&gerror);
        }
    });
    if (!ready && error)
        *error = failure;
    return ready;
}

GstElement* makeAudioSink(QString* error) {
    if (!ensureGStreamer(error))
        return nullptr;
    QByteArray description = qgetenv("ORVANTA_AUDIO_SINK").trimmed();
    if (description.isEmpty())
        description = "autoaudiosink";
    GError* gerror = nullptr;
    GstElement* sink = gst_parse_bin_from_description(description.constData(), TRUE, &gerror);
    if (!sink) {
        if (error) {
            *error = QStringLiteral("audio sink \"%1\": %2")
                         .arg(QString::fromUtf8(description),
                              gerror ? QString::fromUtf8(gerror->message) : QString());
        }
        g_clear_error(&gerror);
        return nullptr;
    }
    g_clear_error(&gerror);
    return sink;
}

}  // namespace orvanta
