#pragma once

#include "engine/SpectrumLevels.h"

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

    // `decibels[k]` is the level of bin k of a spectrum whose bins are evenly
    // spaced from 0 Hz to half the sample rate. Bin 0 (DC) is never used.
    static SpectrumLevels bandLevels(std::span<const float> decibels, double sampleRate);

    // Requires binCount > 1 and sampleRate > 0.
    static BinRange binsOfBand(int band, int binCount, double sampleRate);
};

}  // namespace orvanta
