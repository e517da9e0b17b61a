#pragma once

#include "platform/Failure.h"

#include <cassert>
#include <utility>
#include <variant>

namespace orvanta {

// The outcome of a cancellable operation that may fail: a value, a failure,
// or cancellation. Cancellation is a distinct outcome so that no caller can
// mistake it for an error and fall back to something else.
struct Cancelled {
    friend bool operator==(Cancelled, Cancelled) { return true; }
};

// The value of an operation that has nothing to return.
struct Done {
    friend bool operator==(Done, Done) { return true; }
};

template <typename T>
class Outcome {
public:
    using Value = T;

    Outcome(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Outcome(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}
    Outcome(Cancelled) : state_(std::in_place_index<2>) {}

    bool ok() const { return state_.index() == 0; }
    bool failed() const { return state_.index() == 1; }
    bool cancelled() const { return state_.index() == 2; }
    explicit operator bool() const { return ok(); }

    const T& value() const& {
        assert(ok());
        return std::get<0>(state_);
    }
    T& value() & {
        assert(ok());
        return std::get<0>(state_);
    }
    T&& value() && {
        assert(ok());
        return std::get<0>(std::move(state_));
    }
    const T* operator->() const { return &value(); }
    T* operator->() { return &value(); }
    const T& operator*() const& { return value(); }
    T& operator*() & { return value(); }

    const Failure& failure() const {
        assert(failed());
        return std::get<1>(state_);
    }

    // Carries a failure or a cancellation over to an outcome of another type.
    template <typename U>
    Outcome<U> propagate() const {
        assert(!ok());
        if (cancelled())
            return Cancelled{};
        return failure();
    }

private:
    std::variant<T, Failure, Cancelled> state_;
};

}  // namespace orvanta
