#include "engine/AudioSpectrumBuffer.h"

#include <algorithm>
#include <cmath>

namespace orvanta {

void AudioSpectrumBuffer::publish(const SpectrumLevels& levels) {
    std::unique_lock guard(lock_, std::try_to_lock);
    if (!guard.owns_lock() || !analysisActive_)
        return;
    levels_ = levels;
    updatedAt_ = clock_.now();
}

bool AudioSpectrumBuffer::isAnalysisActive() {
    std::unique_lock guard(lock_, std::try_to_lock);
    return guard.owns_lock() && analysisActive_;
}

void AudioSpectrumBuffer::setAnalysisActive(bool active) {
    std::lock_guard guard(lock_);
    analysisActive_ = active;
    if (!active)
        resetMotionLocked();
}

void AudioSpectrumBuffer::resetMotion() {
    std::lock_guard guard(lock_);
    resetMotionLocked();
}

void AudioSpectrumBuffer::resetMotionLocked() {
    updatedAt_.reset();
    motion_.reset();
    renderedAt_.reset();
}

std::optional<SpectrumLevels> AudioSpectrumBuffer::displayFrame(double now) {
    std::lock_guard guard(lock_);
    if (!updatedAt_ || !std::isfinite(now) || !(now - *updatedAt_ < freshFor)) {
        motion_.reset();
        renderedAt_.reset();
        return std::nullopt;
    }
    const double previous = renderedAt_.value_or(now - frameInterval);
    const double elapsedFrames = std::round((now - previous) / frameInterval);
    const int steps = int(std::clamp(elapsedFrames, 1.0, double(maximumStepsPerFrame)));
    renderedAt_ = now;
    SpectrumLevels shown{};
    for (int i = 0; i < steps; ++i)
        shown = motion_.step(levels_);
    return shown;
}

}  // namespace orvanta
