#pragma once

#include "engine/AudioSpectrumBuffer.h"
#include "engine/FrontendSpectrumMapping.h"
#include "engine/PcmFormat.h"

#include <QtGlobal>

#include <array>
#include <memory>
#include <span>

namespace orvanta {

// Turns one stream's PCM into spectrum levels: mixes it down to mono, cuts it
// into non-overlapping Hann-weighted windows of 2048 samples, transforms each
// into a 1024-bin decibel spectrum and publishes its bar levels on `output`.
//
// Owned by one audio source and used from one thread at a time; only the
// output buffer is shared. Everything is allocated at creation, so `process`
// may run on a real-time audio thread.
class SpectrumProcessor {
public:
    static constexpr int windowSize = 2048;
    static constexpr int binCount = windowSize / 2;
    // A bin's level never goes below this, so silence has a finite level.
    static constexpr float decibelFloor = -120.0f;

    explicit SpectrumProcessor(std::shared_ptr<AudioSpectrumBuffer> output);
    ~SpectrumProcessor();

    SpectrumProcessor(const SpectrumProcessor&) = delete;
    SpectrumProcessor& operator=(const SpectrumProcessor&) = delete;

    // Sets the layout of what `process` receives and starts an empty window.
    void configure(const PcmFormat& format);
    const PcmFormat& format() const { return format_; }

    // Feeds `frameCount` frames. `buffers` holds one pointer for interleaved
    // PCM or one per channel for planar PCM, as configured; each must hold
    // `frameCount` frames. Input that does not match the format is ignored.
    void process(std::span<const float* const> buffers, qsizetype frameCount);
    // The same for a single buffer (interleaved, or mono).
    void process(const float* samples, qsizetype frameCount);

    // The decibel spectrum of the last analysed window.
    std::span<const float, binCount> decibels() const { return decibels_; }

private:
    struct Fft;

    void analyse();

    std::shared_ptr<AudioSpectrumBuffer> output_;
    PcmFormat format_;
    std::array<float, windowSize> samples_{};
    std::array<float, windowSize> window_{};
    std::array<float, binCount> decibels_{};
    std::array<float, binCount> powers_{};
    FrontendSpectrumMapping::Bands bands_;
    int position_ = 0;
    std::unique_ptr<Fft> fft_;
};

}  // namespace orvanta
