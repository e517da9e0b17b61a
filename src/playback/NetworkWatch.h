#pragma once

#include <functional>
#include <memory>

namespace orvanta {

// Whether the network can currently be used, and news when that changes.
// Lives on the main thread and reports there.
class NetworkWatch {
public:
    using ChangeHandler = std::function<void(bool reachable)>;

    virtual ~NetworkWatch() = default;

    virtual bool isReachable() const = 0;
    // Called with the new flag each time it changes.
    virtual void setOnChange(ChangeHandler handler) = 0;
};

// The system's view of reachability. When the platform offers no way to tell,
// the network counts as always reachable: retries then simply run on their
// schedule instead of waiting for a signal that never comes.
std::unique_ptr<NetworkWatch> makeSystemNetworkWatch();

}  // namespace orvanta
