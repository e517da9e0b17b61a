#include "artwork/ThumbnailMemo.h"

#include <QCryptographicHash>

namespace orvanta {

QByteArray ThumbnailMemo::keyFor(const QByteArray& source, int maxSide, int quality) {
    QCryptographicHash hash(QCryptographicHash::Blake2b_256);
    hash.addData(source);
    return hash.result() + QByteArray::number(maxSide) + '/' + QByteArray::number(quality);
}

std::optional<QByteArray> ThumbnailMemo::find(const QByteArray& key) {
    auto found = index_.constFind(key);
    if (found == index_.constEnd())
        return std::nullopt;
    entries_.splice(entries_.begin(), entries_, found.value());
    return entries_.front().second;
}

void ThumbnailMemo::insert(const QByteArray& key, const QByteArray& thumbnail) {
    if (auto found = index_.constFind(key); found != index_.constEnd())
        remove(found.value());
    const qint64 needed = cost(key, thumbnail);
    if (needed > capacity_)
        return;
    while (used_ + needed > capacity_ && !entries_.empty())
        remove(std::prev(entries_.end()));
    entries_.emplace_front(key, thumbnail);
    index_.insert(key, entries_.begin());
    used_ += needed;
}

void ThumbnailMemo::remove(Entries::iterator entry) {
    used_ -= cost(entry->first, entry->second);
    index_.remove(entry->first);
    entries_.erase(entry);
}

}  // namespace orvanta
