#pragma once

#include "platform/Task.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTest>

namespace orvanta::test {

// Runs the event loop until `task` is done (for tests against real servers).
// Returns false when it is not done within `timeoutMs`.
template <typename T>
bool waitFor(const Task<T>& task, int timeoutMs = 15000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!task.isDone() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return task.isDone();
}

}  // namespace orvanta::test
