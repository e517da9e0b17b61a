#pragma once

#include <array>

namespace orvanta {

// The spectrum view draws this many bars, logarithmically spaced in frequency.
inline constexpr int spectrumBarCount = 72;

// One value per bar, 0 (floor) … 1 (top).
using SpectrumLevels = std::array<float, spectrumBarCount>;

}  // namespace orvanta
