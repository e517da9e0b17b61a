#pragma once

// The coordinator's photo store over the personal artwork folder. Header only,
// so that the playback library does not depend on the artwork library: whoever
// includes this links orvanta_artwork.

#include "artwork/PersonalArtwork.h"
#include "playback/PhotoStore.h"

namespace orvanta {

class PersonalArtworkPhotoStore final : public PhotoStore {
public:
    std::optional<QUrl> fileURL(const QString& name) const override {
        return PersonalArtwork::fileURL(name);
    }
    Outcome<QString> storePhoto(const QByteArray& bytes) override {
        return PersonalArtwork::storePhoto(bytes);
    }
    void deletePhoto(const QString& name) override { PersonalArtwork::deletePhoto(name); }
};

}  // namespace orvanta
