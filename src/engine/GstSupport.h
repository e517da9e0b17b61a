#pragma once

#include <QString>

typedef struct _GstElement GstElement;

namespace orvanta {

// Initialises GStreamer once per process; false when it cannot run.
bool ensureGStreamer(QString* error = nullptr);

// The audio sink from ORVANTA_AUDIO_SINK (a GStreamer sink description such
// as "pulsesink" or "fakesink sync=true"), or autoaudiosink.
GstElement* makeAudioSink(QString* error = nullptr);

}  // namespace orvanta
