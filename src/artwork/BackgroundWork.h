#pragma once

#include "platform/Cancellation.h"
#include "platform/Outcome.h"
#include "platform/Task.h"

#include <QMetaObject>
#include <QObject>
#include <QThreadPool>

#include <utility>

namespace orvanta {

// Runs `work` (returning Outcome<T>) on `pool` and delivers its outcome on
// the thread of `context`, so the awaiting coroutine never blocks its thread
// and resumes where it started. `context` must outlive the work: its owner
// waits for the pool before it goes.
//
// Cancelling `token` ends the wait at once with Cancelled. The work itself
// cannot be interrupted; it runs to its end and its result is dropped.
//
// Create the task in a statement of its own and await it afterwards: GCC 12
// destroys the captures of a lambda passed to a coroutine twice when the
// call stands inside the co_await expression itself.
template <typename T, typename Work>
Task<Outcome<T>> runInBackground(QThreadPool& pool, QObject* context, Work work,
                                 CancelToken token) {
    if (token.isCancelled())
        co_return Cancelled{};
    Completion<Outcome<T>> completion;
    pool.start([completion, context, work = std::move(work)]() mutable {
        Outcome<T> result = work();
        QMetaObject::invokeMethod(
            context, [completion, result = std::move(result)] { completion.complete(result); },
            Qt::QueuedConnection);
    });
    CancelRegistration registration =
        token.onCancel([completion] { completion.complete(Cancelled{}); });
    co_return co_await completion.task();
}

}  // namespace orvanta
