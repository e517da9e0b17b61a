#pragma once

#include "engine/PcmBuffer.h"

#include <QString>

#include <cstdint>
#include <deque>
#include <vector>

typedef struct _GstElement GstElement;

namespace orvanta {

// Plays scheduled PCM buffers in order through GStreamer
// (appsrc → audioconvert → audioresample → volume → sink) and tells which of
// them have been played back, judged by the pipeline's playback position.
// Used from one thread; GStreamer's own threads never call back into it.
class AudioOutput {
public:
    AudioOutput() = default;
    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // Builds the pipeline for this format and prerolls it (paused).
    bool start(int sampleRate, int channels, QString* error);
    bool isRunning() const { return pipeline_ != nullptr && !failed_; }
    // Queues a buffer; `tag` comes back from `takePlayed` once it was heard.
    bool schedule(const PcmBuffer& buffer, std::uint64_t tag);
    bool play(QString* error);
    void setVolume(float volume);
    void stop();

    // Tags of buffers played back since the last call, in order. Also checks
    // the pipeline for errors (see `failed`).
    std::vector<std::uint64_t> takePlayed();
    bool failed() const { return failed_; }
    QString failureText() const { return failureText_; }

private:
    struct Scheduled {
        std::uint64_t tag;
        std::uint64_t endNanoseconds;
    };
    void pollBus();

    GstElement* pipeline_ = nullptr;
    GstElement* source_ = nullptr;
    GstElement* volume_ = nullptr;
    float pendingVolume_ = 1.0f;
    int sampleRate_ = 0;
    int channels_ = 0;
    std::uint64_t framesScheduled_ = 0;
    std::deque<Scheduled> scheduled_;
    std::vector<float> interleaved_;
    bool failed_ = false;
    QString failureText_;
};

}  // namespace orvanta
