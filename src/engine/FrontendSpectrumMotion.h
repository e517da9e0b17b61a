#pragma once

#include "engine/SpectrumLevels.h"

#include <span>

namespace orvanta {

// Moves the bars towards their levels: a loud band jumps up almost at once, a
// quieter one sinks slowly, and a silent one drops quickly to the floor. One
// `step` is one display tick of 1/60 s.
struct FrontendSpectrumMotion {
    // Bar heights in display units.
    static constexpr float floorHeight = 5.0f;
    static constexpr float topHeight = 96.0f;
    static constexpr float heightRange = topHeight - floorHeight;

    static constexpr float fastRiseGap = 3.5f;
    static constexpr float fastRiseShare = 0.92f;
    static constexpr float slowFall = 0.65f;
    static constexpr float fallShare = 0.32f;
    static constexpr float silentLevel = 0.012f;
    static constexpr float silentFallShare = 0.68f;

    FrontendSpectrumMotion() { reset(); }

    // Puts every bar on the floor.
    void reset() { heights.fill(floorHeight); }

    // Advances one tick towards `levels` (bars beyond its end count as silent)
    // and returns the new heights as 0…1.
    SpectrumLevels step(std::span<const float> levels);

    std::array<float, spectrumBarCount> heights;
};

}  // namespace orvanta
