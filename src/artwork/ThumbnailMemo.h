#pragma once

#include <QByteArray>
#include <QHash>

#include <list>
#include <optional>
#include <utility>

namespace orvanta {

// Recently made thumbnails, keyed by a digest of the picture bytes they were
// made from and the settings used, within a byte budget; the least recently
// used go first. Keyed by content rather than by address, it can never hand
// out a picture the HTTP layer would not have delivered: it only saves
// decoding the same bytes again when the prefetch, the picture store and the
// artwork check load one cover in turn.
//
// Not synchronised: the loader uses it from its one decoding thread only.
class ThumbnailMemo {
public:
    explicit ThumbnailMemo(qint64 capacityBytes) : capacity_(capacityBytes) {}

    static QByteArray keyFor(const QByteArray& source, int maxSide, int quality);

    // The thumbnail for `key`, now the most recently used one.
    std::optional<QByteArray> find(const QByteArray& key);
    // Keeps a thumbnail, dropping the least recently used ones to make room.
    // One larger than the whole budget is not kept.
    void insert(const QByteArray& key, const QByteArray& thumbnail);

    qint64 usedBytes() const { return used_; }
    int count() const { return static_cast<int>(entries_.size()); }

private:
    using Entries = std::list<std::pair<QByteArray, QByteArray>>;  // most recent first

    static qint64 cost(const QByteArray& key, const QByteArray& thumbnail) {
        return key.size() + thumbnail.size();
    }
    void remove(Entries::iterator entry);

    qint64 capacity_;
    qint64 used_ = 0;
    Entries entries_;
    QHash<QByteArray, Entries::iterator> index_;
};

}  // namespace orvanta
