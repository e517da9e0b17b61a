#include "ManualClock.h"

#include <algorithm>

namespace orvanta::test {

namespace {

class ManualScheduledCall final : public ScheduledCall {
public:
    ManualScheduledCall(
        std::weak_ptr<std::map<std::pair<double, quint64>, std::function<void()>>> timers,
        std::pair<double, quint64> key)
        : timers_(std::move(timers)), key_(key) {}
    ~ManualScheduledCall() override {
        if (auto timers = timers_.lock())
            timers->erase(key_);
    }

private:
    std::weak_ptr<std::map<std::pair<double, quint64>, std::function<void()>>> timers_;
    std::pair<double, quint64> key_;
};

}  // namespace

TimerHandle ManualClock::schedule(double delaySeconds, std::function<void()> callback) {
    Key key{now_ + std::max(0.0, delaySeconds), sequence_++};
    timers_->emplace(key, std::move(callback));
    return std::make_unique<ManualScheduledCall>(timers_, key);
}

void ManualClock::advance(double seconds) {
    const double target = now_ + seconds;
    while (!timers_->empty() && timers_->begin()->first.first <= target) {
        auto node = timers_->extract(timers_->begin());
        now_ = std::max(now_, node.key().first);
        node.mapped()();
    }
    now_ = target;
}

}  // namespace orvanta::test
