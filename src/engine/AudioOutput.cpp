#include "engine/AudioOutput.h"

#include "engine/GstSupport.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <algorithm>

namespace orvanta {

AudioOutput::~AudioOutput() {
    stop();
}

bool AudioOutput::start(int sampleRate, int channels, QString* error) {
    stop();
    if (!ensureGStreamer(error))
        return false;
    GstElement* sink = makeAudioSink(error);
    if (!sink)
        return false;
    pipeline_ = gst_pipeline_new("live-audio");
    source_ = gst_element_factory_make("appsrc", nullptr);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    volume_ = gst_element_factory_make("volume", nullptr);
    if (!source_ || !convert || !resample || !volume_) {
        if (error)
            *error = QStringLiteral("GStreamer base plugins are missing");
        for (GstElement* element : {source_, convert, resample, volume_, sink}) {
            if (element)
                gst_object_unref(element);
        }
        gst_object_unref(pipeline_);
        pipeline_ = source_ = volume_ = nullptr;
        return false;
    }
    gst_bin_add_many(GST_BIN(pipeline_), source_, convert, resample, volume_, sink, nullptr);
    if (!gst_element_link_many(source_, convert, resample, volume_, sink, nullptr)) {
        if (error)
            *error = QStringLiteral("cannot link the audio pipeline");
        stop();
        return false;
    }
    GstCaps* caps = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "F32LE", "layout",
                                        G_TYPE_STRING, "interleaved", "rate", G_TYPE_INT,
                                        sampleRate, "channels", G_TYPE_INT, channels, nullptr);
    g_object_set(source_, "caps", caps, "format", GST_FORMAT_TIME, "is-live", FALSE, "block", FALSE,
                 "max-bytes", guint64(64) << 20, nullptr);
    gst_caps_unref(caps);
    g_object_set(volume_, "volume", double(pendingVolume_), nullptr);
    sampleRate_ = sampleRate;
    channels_ = channels;
    framesScheduled_ = 0;
    failed_ = false;
    if (gst_element_set_state(pipeline_, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
        if (error)
            *error = QStringLiteral("the audio sink cannot start");
        stop();
        return false;
    }
    return true;
}

bool AudioOutput::schedule(const PcmBuffer& buffer, std::uint64_t tag) {
    if (!pipeline_ || failed_ || buffer.frames <= 0)
        return false;
    if (buffer.sampleRate != sampleRate_ || buffer.channels != channels_) {
        // A format change inside a stream: the output keeps its format and
        // the buffer is converted by nothing, so refuse it.
        return false;
    }
    const size_t samples = static_cast<size_t>(buffer.frames) * buffer.channels;
    GstBuffer* gstBuffer = gst_buffer_new_allocate(nullptr, samples * sizeof(float), nullptr);
    GstMapInfo map;
    if (!gst_buffer_map(gstBuffer, &map, GST_MAP_WRITE)) {
        gst_buffer_unref(gstBuffer);
        return false;
    }
    auto* out = reinterpret_cast<float*>(map.data);
    for (int c = 0; c < buffer.channels; ++c) {
        const float* in = buffer.plane(c);
        for (int f = 0; f < buffer.frames; ++f)
            out[f * buffer.channels + c] = in[f];
    }
    gst_buffer_unmap(gstBuffer, &map);
    const std::uint64_t start = gst_util_uint64_scale(framesScheduled_, GST_SECOND, sampleRate_);
    framesScheduled_ += buffer.frames;
    const std::uint64_t end = gst_util_uint64_scale(framesScheduled_, GST_SECOND, sampleRate_);
    GST_BUFFER_PTS(gstBuffer) = start;
    GST_BUFFER_DURATION(gstBuffer) = end - start;
    if (gst_app_src_push_buffer(GST_APP_SRC(source_), gstBuffer) != GST_FLOW_OK)
        return false;
    scheduled_.push_back({tag, end});
    return true;
}

bool AudioOutput::play(QString* error) {
    if (!pipeline_)
        return false;
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        if (error)
            *error = QStringLiteral("the audio sink cannot play");
        return false;
    }
    return true;
}

void AudioOutput::setVolume(float volume) {
    pendingVolume_ = std::clamp(volume, 0.0f, 1.0f);
    if (volume_)
        g_object_set(volume_, "volume", double(pendingVolume_), nullptr);
}

void AudioOutput::stop() {
    if (pipeline_) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(pipeline_);
    }
    pipeline_ = source_ = volume_ = nullptr;
    scheduled_.clear();
}

void AudioOutput::pollBus() {
    GstBus* bus = gst_element_get_bus(pipeline_);
    while (GstMessage* message =
               gst_bus_pop_filtered(bus, GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS))) {
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
            GError* gerror = nullptr;
            gst_message_parse_error(message, &gerror, nullptr);
            failed_ = true;
            failureText_ = gerror ? QString::fromUtf8(gerror->message) : QStringLiteral("error");
            g_clear_error(&gerror);
        }
        gst_message_unref(message);
    }
    gst_object_unref(bus);
}

std::vector<std::uint64_t> AudioOutput::takePlayed() {
    std::vector<std::uint64_t> played;
    if (!pipeline_)
        return played;
    pollBus();
    gint64 position = 0;
    if (!gst_element_query_position(pipeline_, GST_FORMAT_TIME, &position) || position < 0) {
        return played;
    }
    while (!scheduled_.empty() && scheduled_.front().endNanoseconds <= std::uint64_t(position)) {
        played.push_back(scheduled_.front().tag);
        scheduled_.pop_front();
    }
    return played;
}

}  // namespace orvanta
