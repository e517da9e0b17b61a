#pragma once

// The coordinator's cover prefetch through the image loader. Header only, so
// that the playback library does not depend on the artwork library: whoever
// includes this links orvanta_artwork.

#include "artwork/ArtworkLoader.h"
#include "platform/Cancellation.h"
#include "platform/Outcome.h"
#include "platform/Task.h"

#include <QUrl>

#include <functional>

namespace orvanta {

// Loads `address` through `loader` so that its caches hold the picture when
// a view asks for it; the picture itself is dropped here.
inline Task<Outcome<Done>> prefetchThrough(ArtworkLoader* loader, QUrl address, CancelToken token) {
    const Task<Outcome<QByteArray>> load = loader->loadImage(std::move(address), false, token);
    const Outcome<QByteArray> image = co_await load;
    if (!image.ok())
        co_return image.propagate<Done>();
    co_return Done{};
}

// The coordinator's `prefetchImage` option over `loader` (normally
// ArtworkLoader::shared()), which must outlive the coordinator.
inline std::function<Task<Outcome<Done>>(QUrl, CancelToken)> imagePrefetch(ArtworkLoader& loader) {
    return [loader = &loader](QUrl address, CancelToken token) {
        return prefetchThrough(loader, std::move(address), std::move(token));
    };
}

}  // namespace orvanta
