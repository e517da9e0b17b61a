#pragma once

#include "platform/Outcome.h"

#include <QByteArray>
#include <QString>

namespace orvanta {

// The user's folders and the file operations the program relies on. The
// folders follow the XDG variables (XDG_CACHE_HOME, XDG_DATA_HOME, ...).
namespace Folders {

// The application's cache folder, e.g. ~/.cache/orvanta-radio.
QString cacheFolder();
// The application's data ("application support") folder, e.g. ~/.local/share/orvanta-radio.
QString dataFolder();
// The application's configuration folder, e.g. ~/.config/orvanta-radio.
QString configFolder();

// Creates a folder with its missing parents.
Outcome<Done> createFolder(const QString& path);
// Replaces the file's content whole or not at all; creates missing parents.
Outcome<Done> writeAtomically(const QString& path, const QByteArray& content);
// Reads a whole file; fails when it is larger than `maxBytes`.
Outcome<QByteArray> readWhole(const QString& path, qint64 maxBytes = 64 * 1024 * 1024);
// Removes a file; removing a missing file succeeds.
Outcome<Done> removeFile(const QString& path);

}  // namespace Folders
}  // namespace orvanta
