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
    // cancelled task may resume at once and start a successor in it. A slot
    // whose task is still being started is cancelled too (see `restart`).
    void cancelAndClear() {
        BackgroundTask old = std::exchange(*this, BackgroundTask{});
        old.cancel.cancel();
    }

    // Cancels what runs here and starts `begin(token)` in its place. Tasks
    // run synchronously until they first wait, and what they do meanwhile
    // may cancel this slot again: the slot therefore holds the new source
    // before the task begins, and takes the task only if it was not
    // cancelled by then.
    template <typename Begin>
    void restart(Begin&& begin) {
        cancelAndClear();
        CancelSource source;
        cancel = source;
        Task<T> started = std::forward<Begin>(begin)(source.token());
        if (!source.isCancelled())
            task = std::move(started);
    }
};

}  // namespace orvanta
