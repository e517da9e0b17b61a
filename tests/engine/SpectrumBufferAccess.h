#pragma once

#include "engine/AudioSpectrumBuffer.h"

#include <chrono>
#include <future>

namespace orvanta::test {

// Looks inside a spectrum buffer: its raw levels, whether anything was
// published, and its lock, which tests hold to play a busy view.
struct SpectrumBufferAccess {
    static std::mutex& lock(AudioSpectrumBuffer& buffer) { return buffer.lock_; }
    static bool wasPublished(AudioSpectrumBuffer& buffer) {
        std::lock_guard guard(buffer.lock_);
        return buffer.updatedAt_.has_value();
    }
    static SpectrumLevels levels(AudioSpectrumBuffer& buffer) {
        std::lock_guard guard(buffer.lock_);
        return buffer.levels_;
    }
};

// Runs `call` on another thread while this one holds the buffer's lock, and
// tells whether it came back promptly; a call that waited for the lock would
// not (it is released after the deadline, so a failing test still ends).
template <typename Call>
bool returnsWhileLockIsHeld(AudioSpectrumBuffer& buffer, Call call) {
    std::unique_lock held(SpectrumBufferAccess::lock(buffer));
    auto result = std::async(std::launch::async, call);
    const bool prompt = result.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    held.unlock();
    result.wait();
    return prompt;
}

}  // namespace orvanta::test
