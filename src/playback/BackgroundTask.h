#pragma once

#include "platform/Cancellation.h"
#include "platform/Task.h"

#include <utility>

namespace orvanta {

// A task the coordinator started and may have to stop: the task with the
// source of the token it was given.
template <typename T>
struct BackgroundTask {
    Task<T> task;
    CancelSource cancel;

    bool exists() const { return task.isValid(); }
    bool isRunning() const { return task.isValid() && !task.isDone(); }

    // Forgets the task and cancels it. The slot is cleared first, because a
    // cancelled task may resume at once and start a successor in it.
    void cancelAndClear() {
        if (!task.isValid())
            return;
        BackgroundTask old = std::exchange(*this, BackgroundTask{});
        old.cancel.cancel();
    }
};

}  // namespace orvanta
