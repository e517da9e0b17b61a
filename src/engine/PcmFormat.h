#pragma once

namespace orvanta {

// The layout of decoded 32-bit float PCM as the spectrum sources hand it over:
// either one buffer with the channels interleaved frame by frame, or one buffer
// per channel.
struct PcmFormat {
    enum class Layout { Interleaved, Planar };

    double sampleRate = 0;
    int channelCount = 0;
    Layout layout = Layout::Interleaved;

    int bufferCount() const { return layout == Layout::Interleaved ? 1 : channelCount; }

    friend bool operator==(const PcmFormat&, const PcmFormat&) = default;
};

}  // namespace orvanta
