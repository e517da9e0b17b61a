#include "engine/GstSupport.h"

#include <gst/gst.h>

#include <mutex>
#include <thread>

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

void warmUpGStreamer() {
    std::thread([] { ensureGStreamer(); }).detach();
}

void preferLowLatency(GstElement* sink) {
    auto apply = [](const GValue* value, gpointer) {
        GstElement* element = GST_ELEMENT(g_value_get_object(value));
        GObjectClass* type = G_OBJECT_GET_CLASS(element);
        if (g_object_class_find_property(type, "buffer-time") &&
            g_object_class_find_property(type, "latency-time")) {
            // Microseconds: 100 ms in the device, written 10 ms at a time.
            g_object_set(element, "buffer-time", gint64(100000), "latency-time", gint64(10000),
                         nullptr);
        }
    };
    if (GST_IS_BIN(sink)) {
        GstIterator* iterator = gst_bin_iterate_recurse(GST_BIN(sink));
        gst_iterator_foreach(iterator, apply, nullptr);
        gst_iterator_free(iterator);
    } else {
        GValue value = G_VALUE_INIT;
        g_value_init(&value, G_TYPE_OBJECT);
        g_value_set_object(&value, sink);
        apply(&value, nullptr);
        g_value_unset(&value);
    }
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
