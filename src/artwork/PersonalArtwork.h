#pragma once

#include "platform/Outcome.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <QUrl>

#include <optional>

namespace orvanta {

// The listener's station photos: JPEG files named by a fresh UUID in the
// folder "PersonalRadioArtwork" of the application's data folder. Plain
// synchronous file operations without state, safe to call from any thread.
namespace PersonalArtwork {

inline const QString folderName = QStringLiteral("PersonalRadioArtwork");

// The photo folder, or none when the system reports no data folder.
std::optional<QString> folderPath();

// A photo file name: a UUID in its 36-character text form followed by ".jpg"
// (lower-case, exactly).
bool isPhotoName(QStringView name);

// Where the photo of that name lives (the file need not exist); none for a
// name that is no photo name, or without a data folder.
std::optional<QUrl> fileURL(const QString& name);

// Writes new photo bytes (as the loader prepared them) under a fresh name and
// returns the name. Bytes above the photo bound, or that are no picture, fail
// with cannotDecodeContentData and nothing is written.
Outcome<QString> storePhoto(const QByteArray& bytes);

// Removes the photo of that name; quietly does nothing for a missing file or
// a name that is no photo name.
void deletePhoto(const QString& name);

// The bytes of the photo file a file address names, unchanged. Only an
// address that `fileURL` would give for its own last component is read
// (anything else fails with unsupportedURL), only when it is a regular file
// whose real location, links resolved, is inside the photo folder, and only
// up to the photo bound (dataLengthExceedsMaximum beyond it).
Outcome<QByteArray> readPhoto(const QUrl& address);

}  // namespace PersonalArtwork
}  // namespace orvanta
