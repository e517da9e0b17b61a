#pragma once

#include <QString>

typedef struct _GstElement GstElement;

namespace orvanta {

// Initialises GStreamer once per process; false when it cannot run.
bool ensureGStreamer(QString* error = nullptr);

// Starts initialising GStreamer on a background thread, so that the first
// stream does not wait for the plugin registry to load.
void warmUpGStreamer();

// Asks an audio sink (or the sinks inside a bin) for a short device buffer,
// so that sound starts soon after the first samples arrive.
void preferLowLatency(GstElement* sink);

// The audio sink from ORVANTA_AUDIO_SINK (a GStreamer sink description such
// as "pulsesink" or "fakesink sync=true"), or autoaudiosink.
GstElement* makeAudioSink(QString* error = nullptr);

}  // namespace orvanta
