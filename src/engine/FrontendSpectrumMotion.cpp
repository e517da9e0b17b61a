#include "engine/FrontendSpectrumMotion.h"

#include <algorithm>
#include <cmath>

namespace orvanta {

SpectrumLevels FrontendSpectrumMotion::step(std::span<const float> levels) {
    SpectrumLevels shown{};
    for (std::size_t i = 0; i < heights.size(); ++i) {
        const float height = heights[i];
        float level = i < levels.size() ? levels[i] : 0.0f;
        if (!std::isfinite(level))
            level = 0.0f;
        const float target = heightRange * level + floorHeight;

        float next;
        if (level <= silentLevel) {
            next = height + silentFallShare * (floorHeight - height);
        } else if (target >= height + fastRiseGap) {
            next = height + fastRiseShare * (target - height);
        } else if (height > target) {
            next = std::max(target, height - std::max(slowFall, fallShare * (height - target)));
        } else {
            // A target only slightly above keeps the bar sinking until the gap
            // is wide enough for a real rise, so small wobbles do not twitch.
            next = height - slowFall;
        }
        heights[i] = std::clamp(next, floorHeight, topHeight);
        shown[i] = (heights[i] - floorHeight) / heightRange;
    }
    return shown;
}

}  // namespace orvanta
