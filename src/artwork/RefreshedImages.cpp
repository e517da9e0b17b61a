#include "artwork/RefreshedImages.h"

#include <algorithm>

namespace orvanta {

std::optional<QByteArray> RefreshedImages::find(const QUrl& address) const {
    for (const auto& [key, bytes] : entries_) {
        if (key == address)
            return bytes;
    }
    return std::nullopt;
}

void RefreshedImages::store(const QUrl& address, QByteArray bytes) {
    auto existing = std::find_if(entries_.begin(), entries_.end(),
                                 [&](const auto& entry) { return entry.first == address; });
    if (existing != entries_.end()) {
        existing->second = std::move(bytes);
        return;
    }
    if (capacity_ <= 0)
        return;
    if (size() >= capacity_)
        entries_.erase(entries_.begin());
    entries_.emplace_back(address, std::move(bytes));
}

}  // namespace orvanta
