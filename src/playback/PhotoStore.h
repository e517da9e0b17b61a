#pragma once

#include "platform/Outcome.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace orvanta {

// Where the listener's station photos live, as the coordinator needs it: a
// file address per stored name, storing new photo bytes under a fresh name,
// and removing a file that no station names any more.
class PhotoStore {
public:
    virtual ~PhotoStore() = default;

    // The file address of a stored photo name (the file need not exist);
    // none for a name that cannot be a photo file.
    virtual std::optional<QUrl> fileURL(const QString& name) const = 0;
    // Stores the bytes as a new file and returns its name.
    virtual Outcome<QString> storePhoto(const QByteArray& bytes) = 0;
    // Removes the file of that name; a missing file is no error.
    virtual void deletePhoto(const QString& name) = 0;
};

}  // namespace orvanta
