#pragma once

#include <QObject>
#include <QPointer>

#include <coroutine>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace orvanta {

template <typename T>
class Task;

namespace detail {

template <typename T>
struct TaskState {
    std::optional<T> result;
    std::vector<std::coroutine_handle<>> waiters;
    std::vector<std::function<void(const T&)>> callbacks;

    bool complete(T value) {
        if (result)
            return false;
        result.emplace(std::move(value));
        auto pendingWaiters = std::move(waiters);
        auto pendingCallbacks = std::move(callbacks);
        for (auto& callback : pendingCallbacks)
            callback(*result);
        for (auto waiter : pendingWaiters)
            waiter.resume();
        return true;
    }
};

}  // namespace detail

// A coroutine that starts at once on the calling thread and runs until its
// first suspension. Its result is delivered to every awaiting coroutine and
// every `then` callback, on the thread that completes it.
//
// Dropping a Task does not stop the coroutine: operations are stopped through
// their CancelToken, which makes them finish with the Cancelled outcome.
template <typename T>
class Task {
public:
    struct promise_type {
        std::shared_ptr<detail::TaskState<T>> state = std::make_shared<detail::TaskState<T>>();
        std::optional<T> value;

        Task get_return_object() { return Task(state); }
        std::suspend_never initial_suspend() noexcept { return {}; }

        struct FinalAwaiter {
            bool await_ready() noexcept { return false; }
            void await_suspend(std::coroutine_handle<promise_type> handle) noexcept {
                // The coroutine's locals are gone by now; free the frame first,
                // then wake whoever waits, so that they may drop everything.
                auto taskState = std::move(handle.promise().state);
                T result = std::move(*handle.promise().value);
                handle.destroy();
                taskState->complete(std::move(result));
            }
            void await_resume() noexcept {}
        };
        FinalAwaiter final_suspend() noexcept { return {}; }

        template <typename U>
        void return_value(U&& result) {
            value.emplace(std::forward<U>(result));
        }
        void unhandled_exception() noexcept { std::terminate(); }
    };

    Task() = default;
    explicit Task(std::shared_ptr<detail::TaskState<T>> state) : state_(std::move(state)) {}

    bool isValid() const { return state_ != nullptr; }
    bool isDone() const { return state_ && state_->result.has_value(); }
    const T& result() const { return *state_->result; }

    // Calls `callback` with the result on completion (at once when done),
    // unless `context` has been destroyed by then.
    template <typename F>
    void then(QObject* context, F&& callback) const {
        QPointer<QObject> guard(context);
        auto call = [guard, context, callback = std::forward<F>(callback)](const T& value) mutable {
            if (context && !guard)
                return;
            callback(value);
        };
        if (state_->result) {
            call(*state_->result);
        } else {
            state_->callbacks.push_back(std::move(call));
        }
    }

    auto operator co_await() const noexcept {
        struct Awaiter {
            std::shared_ptr<detail::TaskState<T>> state;
            bool await_ready() const noexcept { return state->result.has_value(); }
            void await_suspend(std::coroutine_handle<> waiter) { state->waiters.push_back(waiter); }
            T await_resume() const { return *state->result; }
        };
        return Awaiter{state_};
    }

private:
    std::shared_ptr<detail::TaskState<T>> state_;
};

// The completing side of a Task that is not a coroutine: a leaf operation
// (a timer, a network reply) creates one and completes it from a callback.
// Only the first completion counts.
template <typename T>
class Completion {
public:
    Completion() : state_(std::make_shared<detail::TaskState<T>>()) {}

    Task<T> task() const { return Task<T>(state_); }
    bool complete(T value) const { return state_->complete(std::move(value)); }
    bool isDone() const { return state_->result.has_value(); }

private:
    std::shared_ptr<detail::TaskState<T>> state_;
};

// Runs `body` (a coroutine returning Task) and forgets the task; for entry
// points that have nobody to report to.
template <typename T>
void detach(Task<T>) {}

}  // namespace orvanta
