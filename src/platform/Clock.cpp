#include "platform/Clock.h"

#include <QTimer>

#include <chrono>
#include <cmath>

namespace orvanta {

namespace {

class QtScheduledCall final : public ScheduledCall {
public:
    QtScheduledCall(double delaySeconds, std::function<void()> callback)
        : callback_(std::move(callback)) {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            // The callback may destroy this object: move it out first.
            auto pending = std::move(callback_);
            pending();
        });
        double ms = std::ceil(std::max(0.0, delaySeconds) * 1000.0);
        timer_.start(static_cast<int>(std::min(ms, 2147483647.0)));
    }

private:
    QTimer timer_;
    std::function<void()> callback_;
};

class SystemClock final : public Clock {
public:
    double now() const override {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    }
    QDateTime wallNow() const override { return QDateTime::currentDateTimeUtc(); }
    TimerHandle schedule(double delaySeconds, std::function<void()> callback) override {
        return std::make_unique<QtScheduledCall>(delaySeconds, std::move(callback));
    }
};

}  // namespace

Clock& Clock::system() {
    static SystemClock clock;
    return clock;
}

Task<Outcome<Done>> Clock::sleep(double seconds, CancelToken token) {
    if (token.isCancelled())
        co_return Cancelled{};
    Completion<Outcome<Done>> completion;
    TimerHandle timer = schedule(seconds, [completion] { completion.complete(Done{}); });
    CancelRegistration registration =
        token.onCancel([completion] { completion.complete(Cancelled{}); });
    co_return co_await completion.task();
}

void RepeatingTimer::start() {
    pending_ = clock_.schedule(interval_, [this] { fire(); });
}

void RepeatingTimer::fire() {
    // Reschedule before the callback so that the callback may stop the timer.
    pending_ = clock_.schedule(interval_, [this] { fire(); });
    callback_();
}

}  // namespace orvanta
