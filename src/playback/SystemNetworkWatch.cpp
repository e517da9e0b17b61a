#include "platform/Logging.h"
#include "playback/NetworkWatch.h"

#include <QNetworkInformation>
#include <QObject>

namespace orvanta {

namespace {

bool isReachable(QNetworkInformation::Reachability reachability) {
    // Only a definite "disconnected" holds retries back. A local-only or
    // unknown state may still reach the stream (a captive portal, a proxy),
    // and the retry itself is the better judge.
    return reachability != QNetworkInformation::Reachability::Disconnected;
}

class SystemNetworkWatch final : public NetworkWatch {
public:
    SystemNetworkWatch() {
        if (!QNetworkInformation::loadBackendByFeatures(
                QNetworkInformation::Feature::Reachability)) {
            qCInfo(lcNetwork) << "No reachability backend; the network counts as reachable";
            return;
        }
        QNetworkInformation* information = QNetworkInformation::instance();
        reachable_ = orvanta::isReachable(information->reachability());
        QObject::connect(information, &QNetworkInformation::reachabilityChanged, &context_,
                         [this](QNetworkInformation::Reachability reachability) {
                             const bool reachable = orvanta::isReachable(reachability);
                             if (reachable == reachable_)
                                 return;
                             reachable_ = reachable;
                             if (onChange_)
                                 onChange_(reachable);
                         });
    }

    bool isReachable() const override { return reachable_; }
    void setOnChange(ChangeHandler handler) override { onChange_ = std::move(handler); }

private:
    bool reachable_ = true;
    ChangeHandler onChange_;
    QObject context_;  // ends the connection with this object
};

}  // namespace

std::unique_ptr<NetworkWatch> makeSystemNetworkWatch() {
    return std::make_unique<SystemNetworkWatch>();
}

}  // namespace orvanta
