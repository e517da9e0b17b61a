#pragma once

#include "engine/SpectrumLevels.h"

#include <array>
#include <span>

namespace orvanta {

// Condenses a decibel spectrum into the bars' levels: 72 logarithmic bands from
// 45 Hz to 16 kHz, each mixing the band's peak with its energy, lifted towards
// the treble (which carries less energy in music) and gated to zero in silence.
class FrontendSpectrumMapping {
public:
    static constexpr double lowestFrequency = 45.0;
    static constexpr double highestFrequency = 16000.0;

    // The bins a band reads; neighbouring bands may share a bin and every band
    // reads at least one.
    struct BinRange {
        int first = 0;
        int last = 0;
        friend bool operator==(const BinRange&, const BinRange&) = default;
    };

    // The bands of one spectrum size and sample rate, worked out once so that
    // the per-window mapping does no more than sums and comparisons per bin.
    class Bands {
    public:
        // No bands: every mapping through it is silent.
        Bands() = default;
        Bands(int binCount, double sampleRate);

        int binCount() const { return binCount_; }
        const BinRange& range(int band) const { return ranges_[std::size_t(band)]; }
        // What a band's level is lifted by before scaling: the treble tilt
        // plus the common offset.
        double lift(int band) const { return lifts_[std::size_t(band)]; }

    private:
        std::array<BinRange, spectrumBarCount> ranges_{};
        std::array<double, spectrumBarCount> lifts_{};
        int binCount_ = 0;
    };

    // `decibels[k]` is the level of bin k of a spectrum whose bins are evenly
    // spaced from 0 Hz to half the sample rate. Bin 0 (DC) is never used.
    static SpectrumLevels bandLevels(std::span<const float> decibels, double sampleRate);

    // The same with the bands prepared and each bin's power, 10^(dB/10), given
    // alongside its level. Spans whose sizes differ from the bands' are silent.
    static SpectrumLevels bandLevels(std::span<const float> decibels, std::span<const float> powers,
                                     const Bands& bands);

    // Requires binCount > 1 and sampleRate > 0.
    static BinRange binsOfBand(int band, int binCount, double sampleRate);
};

}  // namespace orvanta
