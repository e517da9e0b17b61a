#pragma once

#include <functional>
#include <map>
#include <memory>

namespace orvanta {

namespace detail {
struct CancelState {
    bool cancelled = false;
    int nextId = 0;
    std::map<int, std::function<void()>> callbacks;
};
}  // namespace detail

// Keeps a cancellation callback registered; destroying it unregisters.
class CancelRegistration {
public:
    CancelRegistration() = default;
    CancelRegistration(std::weak_ptr<detail::CancelState> state, int id)
        : state_(std::move(state)), id_(id) {}
    CancelRegistration(CancelRegistration&& other) noexcept { *this = std::move(other); }
    CancelRegistration& operator=(CancelRegistration&& other) noexcept {
        if (this != &other) {
            reset();
            state_ = std::move(other.state_);
            id_ = other.id_;
            other.state_.reset();
        }
        return *this;
    }
    CancelRegistration(const CancelRegistration&) = delete;
    CancelRegistration& operator=(const CancelRegistration&) = delete;
    ~CancelRegistration() { reset(); }

    void reset() {
        if (auto state = state_.lock())
            state->callbacks.erase(id_);
        state_.reset();
    }

private:
    std::weak_ptr<detail::CancelState> state_;
    int id_ = 0;
};

// The receiving side of a cancellation request. Tokens are used on one thread
// (the thread of the operation they cancel); they are cheap to copy.
class CancelToken {
public:
    // A token that is never cancelled.
    CancelToken() = default;

    bool isCancelled() const { return state_ && state_->cancelled; }
    bool canBeCancelled() const { return state_ != nullptr; }

    // Runs `callback` once when cancellation is requested; at once when it
    // already was. The callback stays registered while the result lives.
    [[nodiscard]] CancelRegistration onCancel(std::function<void()> callback) const {
        if (!state_)
            return {};
        if (state_->cancelled) {
            callback();
            return {};
        }
        int id = state_->nextId++;
        state_->callbacks.emplace(id, std::move(callback));
        return CancelRegistration(state_, id);
    }

private:
    friend class CancelSource;
    explicit CancelToken(std::shared_ptr<detail::CancelState> state) : state_(std::move(state)) {}
    std::shared_ptr<detail::CancelState> state_;
};

// The requesting side: owns the decision to cancel.
class CancelSource {
public:
    CancelSource() : state_(std::make_shared<detail::CancelState>()) {}

    // A source that is also cancelled when `parent` is.
    static CancelSource linkedTo(const CancelToken& parent) {
        CancelSource source;
        auto weak = std::weak_ptr<detail::CancelState>(source.state_);
        source.parentLink_ = std::make_shared<CancelRegistration>(parent.onCancel([weak] {
            if (auto state = weak.lock())
                cancelState(state);
        }));
        return source;
    }

    CancelToken token() const { return CancelToken(state_); }
    bool isCancelled() const { return state_->cancelled; }
    void cancel() {
        // Cancelling may resume code that destroys this source: keep the
        // state alive until every callback has run.
        auto keep = state_;
        cancelState(keep);
    }

private:
    static void cancelState(const std::shared_ptr<detail::CancelState>& state) {
        if (state->cancelled)
            return;
        state->cancelled = true;
        // Callbacks may unregister others (or themselves) while we run them.
        while (!state->callbacks.empty()) {
            auto node = state->callbacks.extract(state->callbacks.begin());
            node.mapped()();
        }
    }

    std::shared_ptr<detail::CancelState> state_;
    std::shared_ptr<CancelRegistration> parentLink_;
};

}  // namespace orvanta
