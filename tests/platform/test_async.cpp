#include "ManualClock.h"
#include "platform/Clock.h"
#include "platform/Task.h"

#include <QSignalSpy>
#include <QTest>

using namespace orvanta;
using orvanta::test::ManualClock;

namespace {

Task<Outcome<int>> sleepThenAnswer(Clock& clock, double seconds, CancelToken token, int answer) {
    auto slept = co_await clock.sleep(seconds, token);
    if (!slept)
        co_return slept.propagate<int>();
    co_return answer;
}

Task<Outcome<int>> sumOfTwoSleeps(Clock& clock, CancelToken token) {
    auto first = co_await sleepThenAnswer(clock, 1, token, 20);
    if (!first)
        co_return first.propagate<int>();
    auto second = co_await sleepThenAnswer(clock, 2, token, 22);
    if (!second)
        co_return second.propagate<int>();
    co_return *first + *second;
}

}  // namespace

class AsyncTest : public QObject {
    Q_OBJECT

private slots:
    void sleepsResumeInOrderOnManualTime() {
        ManualClock clock;
        auto task = sumOfTwoSleeps(clock, {});
        QVERIFY(!task.isDone());
        clock.advance(2.9);
        QVERIFY(!task.isDone());
        clock.advance(0.1);
        QVERIFY(task.isDone());
        QCOMPARE(task.result().value(), 42);
        QCOMPARE(clock.pendingTimers(), 0);
    }

    void cancellationIsItsOwnOutcomeAndStopsTheTimer() {
        ManualClock clock;
        CancelSource source;
        auto task = sumOfTwoSleeps(clock, source.token());
        clock.advance(1.5);
        source.cancel();
        QVERIFY(task.isDone());
        QVERIFY(task.result().cancelled());
        QVERIFY(!task.result().failed());
        QCOMPARE(clock.pendingTimers(), 0);
        // An already cancelled token never starts the sleep.
        auto late = sleepThenAnswer(clock, 1, source.token(), 1);
        QVERIFY(late.isDone() && late.result().cancelled());
    }

    void everyWaiterAndCallbackGetsTheResult() {
        ManualClock clock;
        auto shared = sleepThenAnswer(clock, 1, {}, 7);
        auto waiter = [](Task<Outcome<int>> task) -> Task<Outcome<int>> {
            auto value = co_await task;
            co_return *value + 1;
        };
        auto a = waiter(shared);
        auto b = waiter(shared);
        int seen = 0;
        QObject context;
        shared.then(&context, [&](const Outcome<int>& value) { seen = *value; });
        clock.advance(1);
        QCOMPARE(a.result().value(), 8);
        QCOMPARE(b.result().value(), 8);
        QCOMPARE(seen, 7);
    }

    void callbackIsSkippedWhenItsContextIsGone() {
        ManualClock clock;
        auto task = sleepThenAnswer(clock, 1, {}, 1);
        bool called = false;
        {
            QObject context;
            task.then(&context, [&](const Outcome<int>&) { called = true; });
        }
        clock.advance(1);
        QVERIFY(task.isDone());
        QVERIFY(!called);
    }

    void linkedSourceFollowsItsParent() {
        CancelSource parent;
        auto child = CancelSource::linkedTo(parent.token());
        int calls = 0;
        auto registration = child.token().onCancel([&] { ++calls; });
        parent.cancel();
        QVERIFY(child.isCancelled());
        child.cancel();
        QCOMPARE(calls, 1);
    }

    void cancellingMayDestroyTheSource() {
        ManualClock clock;
        auto source = std::make_unique<CancelSource>();
        auto task = sleepThenAnswer(clock, 5, source->token(), 1);
        task.then(nullptr, [&](const Outcome<int>&) { source.reset(); });
        source->cancel();
        QVERIFY(!source);
        QVERIFY(task.result().cancelled());
    }

    void repeatingTimerTicksUntilStopped() {
        ManualClock clock;
        int ticks = 0;
        RepeatingTimer timer(clock, 1.0, [&] { ++ticks; });
        timer.start();
        clock.advance(3.5);
        QCOMPARE(ticks, 3);
        timer.stop();
        clock.advance(5);
        QCOMPARE(ticks, 3);
    }

    void systemClockSleepsOnTheEventLoop() {
        auto task = Clock::system().sleep(0.01);
        QTRY_VERIFY_WITH_TIMEOUT(task.isDone(), 2000);
        QVERIFY(task.result().ok());
    }
};

QTEST_GUILESS_MAIN(AsyncTest)
#include "test_async.moc"
