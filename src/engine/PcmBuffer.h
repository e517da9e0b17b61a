#pragma once

#include <vector>

namespace orvanta {

// Decoded audio: 32-bit float, non-interleaved (one plane per channel).
struct PcmBuffer {
    int sampleRate = 0;
    int channels = 0;
    int frames = 0;
    // Plane c starts at samples[c * frames].
    std::vector<float> samples;

    const float* plane(int channel) const { return samples.data() + channel * frames; }
    float* plane(int channel) { return samples.data() + channel * frames; }
    double duration() const { return sampleRate > 0 ? double(frames) / sampleRate : 0.0; }
    bool sameFormat(const PcmBuffer& other) const {
        return sampleRate == other.sampleRate && channels == other.channels;
    }
};

}  // namespace orvanta
