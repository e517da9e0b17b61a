#include "engine/GstPlatformPlayer.h"

#include "engine/GstSupport.h"
#include "engine/GstTls.h"
#include "platform/HttpSession.h"

#include <gst/audio/audio.h>
#include <gst/gst.h>

#include <QPointer>

namespace orvanta {

namespace {

GstElement* makeOutputBin(GstPad** tapPad) {
    GstElement* sink = makeAudioSink();
    if (!sink)
        return nullptr;
    GstElement* bin = gst_bin_new("audio-output");
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    GstCaps* caps = gst_caps_from_string("audio/x-raw,format=F32LE,layout=interleaved");
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    gst_bin_add_many(GST_BIN(bin), convert, filter, sink, nullptr);
    if (!gst_element_link_many(convert, filter, sink, nullptr)) {
        gst_object_unref(bin);
        return nullptr;
    }
    GstPad* input = gst_element_get_static_pad(convert, "sink");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", input));
    gst_object_unref(input);
    *tapPad = gst_element_get_static_pad(filter, "src");
    return bin;
}

}  // namespace

GstPlatformPlayer::GstPlatformPlayer(QObject* parent) : QObject(parent) {
    positionTimer_.setInterval(1000);
    connect(&positionTimer_, &QTimer::timeout, this, &GstPlatformPlayer::reportPosition);
    if (!ensureGStreamer())
        return;
    pipeline_ = gst_element_factory_make("playbin", nullptr);
    if (!pipeline_)
        return;
    // Audio only: no video or subtitle branches.
    gint flags = 0;
    g_object_get(pipeline_, "flags", &flags, nullptr);
    flags &= ~(1 << 0);  // video
    flags &= ~(1 << 2);  // text
    g_object_set(pipeline_, "flags", flags, nullptr);
    // One second of network buffer before playing (GStreamer's default is
    // two): a radio stream starts noticeably sooner, and a stall that still
    // happens is seen by the stall watchdog and recovered by the coordinator.
    g_object_set(pipeline_, "buffer-duration", gint64(GST_SECOND), nullptr);
    if (GstElement* output = makeOutputBin(&tapPad_)) {
        g_object_set(pipeline_, "audio-sink", output, nullptr);
    }
    g_signal_connect(pipeline_, "element-setup", G_CALLBACK(&GstPlatformPlayer::elementSetup),
                     this);
    GstBus* bus = gst_element_get_bus(pipeline_);
    busWatch_ = gst_bus_add_watch(bus, &GstPlatformPlayer::busCallback, this);
    gst_object_unref(bus);
    if (tapPad_) {
        gst_pad_add_probe(
            tapPad_,
            GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
            reinterpret_cast<GstPadProbeCallback>(&GstPlatformPlayer::padProbe), this, nullptr);
    }
}

GstPlatformPlayer::~GstPlatformPlayer() {
    if (!pipeline_)
        return;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    if (busWatch_)
        g_source_remove(busWatch_);
    if (tapPad_)
        gst_object_unref(tapPad_);
    gst_object_unref(pipeline_);
}

void GstPlatformPlayer::elementSetup(GstElement*, GstElement* element, void* self) {
    auto* player = static_cast<GstPlatformPlayer*>(self);
    applyTlsTrust(element);
    GstElementFactory* factory = gst_element_get_factory(element);
    const gchar* name =
        factory ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)) : nullptr;
    if (!name)
        return;
    if (g_str_equal(name, "icydemux"))
        player->icyStream_ = true;
    if (g_str_equal(name, "id3demux") || g_str_has_prefix(name, "hlsdemux"))
        player->id3Tags_ = true;
    if (g_str_equal(name, "souphttpsrc")) {
        // Ask for in-band titles, as the stream check does.
        g_object_set(element, "iradio-mode", TRUE, nullptr);
    }
}

Task<Done> GstPlatformPlayer::reportFailure(QUrl url, Failure failure, quint64 serial) {
    // GStreamer's HTTP source only logs why a secure connection failed and
    // reports a bare stream error. Asking the same address once more through
    // the program's own client tells a TLS failure from the rest.
    QPointer<GstPlatformPlayer> self(this);
    auto stream = HttpSession::shared().openStream(HttpRequest(url, 10));
    const Outcome<HttpResponse> head = co_await stream->response();
    stream->cancel();
    if (!self || self->itemSerial_ != serial)
        co_return Done{};
    if (head.failed() && head.failure().isTLSFailure())
        failure = head.failure();
    if (self->callbacks_.itemFailed)
        self->callbacks_.itemFailed(failure);
    co_return Done{};
}

void GstPlatformPlayer::attach(const QUrl& url) {
    if (!pipeline_) {
        if (callbacks_.itemFailed) {
            callbacks_.itemFailed(
                Failure::url(UrlError::unknown, QStringLiteral("GStreamer is not available")));
        }
        return;
    }
    clear();
    ++itemSerial_;
    icyStream_ = false;
    id3Tags_ = false;
    attached_ = true;
    currentUrl_ = url;
    const QByteArray uri = url.toEncoded();
    g_object_set(pipeline_, "uri", uri.constData(), nullptr);
    gst_element_set_state(pipeline_, GST_STATE_PAUSED);
    positionTimer_.start();
}

void GstPlatformPlayer::play() {
    if (!pipeline_ || !attached_)
        return;
    setTimeControl(TimeControl::waiting);
    if (!buffering_)
        gst_element_set_state(pipeline_, GST_STATE_PLAYING);
}

void GstPlatformPlayer::clear() {
    ++itemSerial_;
    positionTimer_.stop();
    attached_ = false;
    buffering_ = false;
    timeControl_ = TimeControl::paused;
    if (pipeline_)
        gst_element_set_state(pipeline_, GST_STATE_NULL);
}

void GstPlatformPlayer::setVolume(float volume) {
    volume_ = std::clamp(volume, 0.0f, 1.0f);
    if (pipeline_)
        g_object_set(pipeline_, "volume", double(volume_), nullptr);
}

void GstPlatformPlayer::setMuted(bool muted) {
    muted_ = muted;
    if (pipeline_)
        g_object_set(pipeline_, "mute", gboolean(muted), nullptr);
}

bool GstPlatformPlayer::installSpectrumTap(std::shared_ptr<AudioSpectrumBuffer> spectrum) {
    if (!pipeline_ || !tapPad_ || !spectrum)
        return false;
    // Replaced while no item plays: the streaming thread is stopped.
    processor_ = std::make_unique<SpectrumProcessor>(std::move(spectrum));
    return true;
}

void GstPlatformPlayer::setTimeControl(TimeControl control) {
    if (timeControl_ == control)
        return;
    timeControl_ = control;
    if (callbacks_.timeControlChanged)
        callbacks_.timeControlChanged(control);
}

void GstPlatformPlayer::reportPosition() {
    if (!pipeline_ || !attached_)
        return;
    gint64 position = 0;
    if (gst_element_query_position(pipeline_, GST_FORMAT_TIME, &position) && position >= 0 &&
        callbacks_.position) {
        callbacks_.position(double(position) / GST_SECOND);
    }
}

int GstPlatformPlayer::busCallback(GstBus*, GstMessage* message, void* self) {
    static_cast<GstPlatformPlayer*>(self)->handleMessage(message);
    return TRUE;
}

void GstPlatformPlayer::handleMessage(GstMessage* message) {
    if (!attached_)
        return;
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ERROR: {
            GError* error = nullptr;
            gchar* debug = nullptr;
            gst_message_parse_error(message, &error, &debug);
            Failure failure = failureFromGstError(error, QString::fromUtf8(debug));
            // The first error on the bus may come from downstream ("internal
            // data stream error") while the source that broke reports its
            // own, TLS included, right behind it.
            if (!failure.isTLSFailure()) {
                GstBus* bus = gst_element_get_bus(pipeline_);
                while (GstMessage* next = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
                    GError* nextError = nullptr;
                    gchar* nextDebug = nullptr;
                    gst_message_parse_error(next, &nextError, &nextDebug);
                    const Failure candidate =
                        failureFromGstError(nextError, QString::fromUtf8(nextDebug));
                    if (candidate.isTLSFailure())
                        failure = candidate;
                    g_clear_error(&nextError);
                    g_free(nextDebug);
                    gst_message_unref(next);
                }
                gst_object_unref(bus);
            }
            g_clear_error(&error);
            g_free(debug);
            const QUrl url = currentUrl_;
            clear();
            if (!failure.isTLSFailure() && url.scheme() == QLatin1String("https")) {
                detach(reportFailure(url, failure, itemSerial_));
            } else if (callbacks_.itemFailed) {
                callbacks_.itemFailed(failure);
            }
            break;
        }
        case GST_MESSAGE_EOS:
            clear();
            if (callbacks_.playedToEnd)
                callbacks_.playedToEnd();
            break;
        case GST_MESSAGE_BUFFERING: {
            gint percent = 100;
            gst_message_parse_buffering(message, &percent);
            if (percent < 100 && !buffering_) {
                buffering_ = true;
                gst_element_set_state(pipeline_, GST_STATE_PAUSED);
                setTimeControl(TimeControl::waiting);
            } else if (percent >= 100 && buffering_) {
                buffering_ = false;
                if (timeControl_ != TimeControl::paused) {
                    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
                }
            }
            break;
        }
        case GST_MESSAGE_STATE_CHANGED: {
            if (GST_MESSAGE_SRC(message) != GST_OBJECT(pipeline_))
                break;
            GstState oldState, newState, pending;
            gst_message_parse_state_changed(message, &oldState, &newState, &pending);
            if (newState == GST_STATE_PLAYING && !buffering_)
                setTimeControl(TimeControl::playing);
            if (newState == GST_STATE_PAUSED && oldState == GST_STATE_PLAYING &&
                timeControl_ == TimeControl::playing) {
                setTimeControl(TimeControl::waiting);
            }
            break;
        }
        default:
            break;
    }
}

unsigned int GstPlatformPlayer::padProbe(GstPad*, GstPadProbeInfo* info, void* self) {
    auto* player = static_cast<GstPlatformPlayer*>(self);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER) {
        SpectrumProcessor* processor = player->processor_.get();
        if (!processor)
            return GST_PAD_PROBE_OK;
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        GstMapInfo map;
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            const int channels = processor->format().channelCount;
            if (channels > 0) {
                processor->process(reinterpret_cast<const float*>(map.data),
                                   qsizetype(map.size / sizeof(float) / channels));
            }
            gst_buffer_unmap(buffer, &map);
        }
        return GST_PAD_PROBE_OK;
    }
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
        GstCaps* caps = nullptr;
        gst_event_parse_caps(event, &caps);
        GstAudioInfo audio;
        if (caps && gst_audio_info_from_caps(&audio, caps) && player->processor_) {
            player->processor_->configure(PcmFormat{double(GST_AUDIO_INFO_RATE(&audio)),
                                                    GST_AUDIO_INFO_CHANNELS(&audio),
                                                    PcmFormat::Layout::Interleaved});
        }
    } else if (GST_EVENT_TYPE(event) == GST_EVENT_TAG) {
        GstTagList* tags = nullptr;
        gst_event_parse_tag(event, &tags);
        QList<TimedMetadataItem> items;
        gchar* text = nullptr;
        const bool icy = player->icyStream_;
        const bool id3 = player->id3Tags_;
        if (gst_tag_list_get_string(tags, GST_TAG_ARTIST, &text)) {
            items.append({id3 ? QStringLiteral("id3/tpe1") : QString(), QStringLiteral("artist"),
                          QString::fromUtf8(text)});
            g_free(text);
        }
        if (gst_tag_list_get_string(tags, GST_TAG_TITLE, &text)) {
            const QString identifier = icy   ? QStringLiteral("icy/streamtitle")
                                       : id3 ? QStringLiteral("id3/tit2")
                                             : QString();
            items.append(
                {identifier, icy ? QString() : QStringLiteral("title"), QString::fromUtf8(text)});
            g_free(text);
        }
        if (!items.isEmpty()) {
            const quint64 serial = player->itemSerial_;
            QMetaObject::invokeMethod(
                player,
                [guard = QPointer<GstPlatformPlayer>(player), serial, items] {
                    if (!guard || guard->itemSerial_ != serial || !guard->callbacks_.metadata)
                        return;
                    gint64 position = 0;
                    double start = 0;
                    if (gst_element_query_position(guard->pipeline_, GST_FORMAT_TIME, &position)) {
                        start = double(position) / GST_SECOND;
                    }
                    guard->callbacks_.metadata(items, start);
                },
                Qt::QueuedConnection);
        }
    }
    return GST_PAD_PROBE_OK;
}

}  // namespace orvanta
