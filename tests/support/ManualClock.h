#pragma once

#include "platform/Clock.h"

#include <QTimeZone>

#include <map>
#include <memory>

namespace orvanta::test {

// A clock that only moves when the test advances it. Timers fire in due
// order, each with the clock reading its due time, synchronously inside
// `advance`, so coroutines waiting on sleeps resume without an event loop.
class ManualClock final : public Clock {
public:
    explicit ManualClock(double start = 1000.0,
                         QDateTime wallStart = QDateTime(QDate(2026, 1, 1), QTime(12, 0),
                                                         QTimeZone::utc()))
        : now_(start), wallStart_(std::move(wallStart)), start_(start) {}

    double now() const override { return now_; }
    QDateTime wallNow() const override {
        return wallStart_.addMSecs(static_cast<qint64>((now_ - start_) * 1000.0));
    }
    TimerHandle schedule(double delaySeconds, std::function<void()> callback) override;

    // Moves time forward by `seconds`, firing every timer that falls due.
    void advance(double seconds);
    // Sets the wall clock without moving monotonic time.
    void setWallNow(const QDateTime& wall) {
        wallStart_ = wall.addMSecs(static_cast<qint64>((start_ - now_) * 1000.0));
    }
    int pendingTimers() const { return static_cast<int>(timers_->size()); }

private:
    using Key = std::pair<double, quint64>;
    using Timers = std::map<Key, std::function<void()>>;

    double now_;
    QDateTime wallStart_;
    double start_;
    quint64 sequence_ = 0;
    std::shared_ptr<Timers> timers_ = std::make_shared<Timers>();
};

}  // namespace orvanta::test
