#pragma once

#include "platform/Cancellation.h"
#include "platform/Outcome.h"
#include "platform/Task.h"

#include <QDateTime>

#include <functional>
#include <memory>

namespace orvanta {

// A pending call scheduled on a Clock. Destroying it cancels the call.
class ScheduledCall {
public:
    virtual ~ScheduledCall() = default;
};
using TimerHandle = std::unique_ptr<ScheduledCall>;

// Every reading of time, every timer and every sleep goes through a Clock, so
// that tests can replace it with a manual one and advance time instantly.
class Clock {
public:
    virtual ~Clock() = default;

    // Monotonic seconds (system uptime); only differences are meaningful.
    virtual double now() const = 0;
    // Wall-clock time, UTC.
    virtual QDateTime wallNow() const = 0;
    // Calls `callback` on this thread once `delaySeconds` have passed.
    [[nodiscard]] virtual TimerHandle schedule(double delaySeconds,
                                               std::function<void()> callback) = 0;

    // Completes with Done after `seconds`, or with Cancelled as soon as the
    // token is cancelled.
    Task<Outcome<Done>> sleep(double seconds, CancelToken token = {});

    // The real clock of the process; timers run on the thread that schedules.
    static Clock& system();
};

// Calls a callback every `interval` seconds until stopped or destroyed.
class RepeatingTimer {
public:
    RepeatingTimer(Clock& clock, double interval, std::function<void()> callback)
        : clock_(clock), interval_(interval), callback_(std::move(callback)) {}

    void start();
    void stop() { pending_.reset(); }
    bool isActive() const { return pending_ != nullptr; }

private:
    void fire();

    Clock& clock_;
    double interval_;
    std::function<void()> callback_;
    TimerHandle pending_;
};

}  // namespace orvanta
