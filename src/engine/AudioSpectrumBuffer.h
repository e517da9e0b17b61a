#pragma once

#include "engine/FrontendSpectrumMotion.h"
#include "engine/SpectrumLevels.h"
#include "platform/Clock.h"

#include <mutex>
#include <optional>

namespace orvanta {

namespace test {
struct SpectrumBufferAccess;
}

// The newest spectrum levels, shared between the audio side that analyses and
// the view that draws. The audio side (`publish`, `isAnalysisActive`) only ever
// tries the lock, so playback never waits for the view; a contended publish is
// simply lost. The view side (`displayFrame`, `setAnalysisActive`,
// `resetMotion`) waits for it and holds it briefly.
class AudioSpectrumBuffer {
public:
    // Levels older than this mean the stream stalled or stopped.
    static constexpr double freshFor = 0.4;
    static constexpr double frameInterval = 1.0 / 60.0;
    // A view that was not drawn for a while catches up in bounded time.
    static constexpr int maximumStepsPerFrame = 12;

    // `clock` stamps published levels; `displayFrame` must be given times of
    // the same clock.
    explicit AudioSpectrumBuffer(const Clock& clock = Clock::system()) : clock_(clock) {}

    AudioSpectrumBuffer(const AudioSpectrumBuffer&) = delete;
    AudioSpectrumBuffer& operator=(const AudioSpectrumBuffer&) = delete;

    // Audio side. Never waits and never allocates.
    void publish(const SpectrumLevels& levels);
    // False while analysis is off, and also when the lock is busy: the caller
    // then drops its partial window, which costs at most one window of bars.
    bool isAnalysisActive();

    // View side.
    void setAnalysisActive(bool active);
    // Puts the bars on the floor and forgets the levels' age; the newest levels
    // and the activity stay. Called whenever a stream stops or changes path.
    void resetMotion();
    // The bar levels to draw at `now`, or nothing while no fresh levels exist
    // (the bars then rest on the floor).
    std::optional<SpectrumLevels> displayFrame(double now);

private:
    friend struct test::SpectrumBufferAccess;

    void resetMotionLocked();

    const Clock& clock_;
    std::mutex lock_;
    SpectrumLevels levels_{};
    std::optional<double> updatedAt_;
    FrontendSpectrumMotion motion_;
    std::optional<double> renderedAt_;
    bool analysisActive_ = true;
};

}  // namespace orvanta
