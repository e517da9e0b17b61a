#include "engine/FrontendSpectrumMapping.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace orvanta {

namespace {

// Quiet enough that nothing worth drawing is on air: both the loudest bin and
// the average stay below these, so decoder noise does not flicker the bars.
constexpr double silencePeak = -63.0;
constexpr double silenceMean = -78.0;
constexpr double bandFloor = -100.0;

constexpr double peakWeight = 0.34;
constexpr double energyWeight = 0.66;
constexpr double trebleLift = 7.0;
constexpr double trebleCurve = 1.25;
constexpr double levelOffset = 72.0;
constexpr double levelRange = 49.0;
constexpr double levelCurve = 1.48;

double bandEdge(int edge) {
    using Mapping = FrontendSpectrumMapping;
    return Mapping::lowestFrequency * std::pow(Mapping::highestFrequency / Mapping::lowestFrequency,
                                               double(edge) / spectrumBarCount);
}

}  // namespace

FrontendSpectrumMapping::BinRange FrontendSpectrumMapping::binsOfBand(int band, int binCount,
                                                                      double sampleRate) {
    const double binWidth = (sampleRate / 2.0) / binCount;
    const double lower = bandEdge(band) / binWidth;
    const double upper = bandEdge(band + 1) / binWidth;
    // Clamp in floating point before converting: at very low sample rates the
    // edges lie far beyond the last bin.
    const double top = binCount - 1;
    const int first = int(std::max(1.0, std::min(top, std::floor(lower))));
    const int last = std::max(first, int(std::min(top, std::ceil(upper))));
    return {first, last};
}

FrontendSpectrumMapping::Bands::Bands(int binCount, double sampleRate) {
    if (binCount <= 1 || !(sampleRate > 0) || !std::isfinite(sampleRate))
        return;
    binCount_ = binCount;
    for (int band = 0; band < spectrumBarCount; ++band) {
        ranges_[std::size_t(band)] = binsOfBand(band, binCount, sampleRate);
        const double tilt = std::pow(double(band) / (spectrumBarCount - 1), trebleCurve);
        lifts_[std::size_t(band)] = trebleLift * tilt + levelOffset;
    }
}

SpectrumLevels FrontendSpectrumMapping::bandLevels(std::span<const float> decibels,
                                                   double sampleRate) {
    const Bands bands(int(decibels.size()), sampleRate);
    if (bands.binCount() == 0)
        return {};
    std::vector<float> powers(decibels.size());
    for (std::size_t k = 0; k < decibels.size(); ++k)
        powers[k] = float(std::exp(decibels[k] * (std::numbers::ln10 / 10.0)));
    return bandLevels(decibels, powers, bands);
}

SpectrumLevels FrontendSpectrumMapping::bandLevels(std::span<const float> decibels,
                                                   std::span<const float> powers,
                                                   const Bands& bands) {
    SpectrumLevels levels{};
    const auto binCount = decibels.size();
    if (binCount <= 1 || binCount != std::size_t(bands.binCount()) || powers.size() != binCount)
        return levels;

    double peak = -INFINITY;
    double sum = 0;
    std::size_t finiteCount = 0;
    for (std::size_t k = 1; k < binCount; ++k) {
        if (!std::isfinite(decibels[k]))
            continue;
        peak = std::max(peak, double(decibels[k]));
        sum += decibels[k];
        ++finiteCount;
    }
    if (finiteCount == 0)
        return levels;
    if (std::max(peak, bandFloor) < silencePeak && sum / double(finiteCount) < silenceMean)
        return levels;

    for (int band = 0; band < spectrumBarCount; ++band) {
        const auto [first, last] = bands.range(band);
        double loudest = bandFloor;
        double energy = 0;
        int counted = 0;
        for (int k = first; k <= last; ++k) {
            const double value = decibels[std::size_t(k)];
            if (!std::isfinite(value))
                continue;
            loudest = std::max(loudest, value);
            energy += powers[std::size_t(k)];
            ++counted;
        }
        double combined = bandFloor;
        if (counted > 0) {
            const double rms = std::sqrt(energy / counted);
            combined = peakWeight * loudest + energyWeight * 20.0 * std::log10(std::max(1e-5, rms));
        }
        const double x = std::min(1.0, (bands.lift(band) + combined) / levelRange);
        // Single precision is plenty for a bar's height and twice as fast.
        levels[std::size_t(band)] = std::pow(float(std::max(x, 0.0)), float(levelCurve));
    }
    return levels;
}

}  // namespace orvanta
