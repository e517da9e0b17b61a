#pragma once

#include "artwork/ArtworkLimits.h"

#include <QByteArray>
#include <QUrl>

#include <optional>
#include <utility>
#include <vector>

namespace orvanta {

// The bytes of the last load with refresh of each address, kept in memory
// for the life of the loader. At most `capacity` addresses: an address that
// is present is replaced in place; a new one added to a full set pushes out
// the entry added longest ago.
class RefreshedImages {
public:
    explicit RefreshedImages(int capacity = ArtworkLimits::refreshedImageCapacity)
        : capacity_(capacity) {}

    std::optional<QByteArray> find(const QUrl& address) const;
    void store(const QUrl& address, QByteArray bytes);
    int size() const { return static_cast<int>(entries_.size()); }
    bool contains(const QUrl& address) const { return find(address).has_value(); }

private:
    int capacity_;
    std::vector<std::pair<QUrl, QByteArray>> entries_;  // oldest first
};

}  // namespace orvanta
