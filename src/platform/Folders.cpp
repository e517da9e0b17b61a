#include "platform/Folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace orvanta::Folders {

namespace {

QString applicationFolder(QStandardPaths::StandardLocation base) {
    // Resolved by hand so that the result does not depend on the
    // organisation and application names a front end happens to set.
    return QStandardPaths::writableLocation(base) + QStringLiteral("/orvanta-radio");
}

}  // namespace

QString cacheFolder() {
    return applicationFolder(QStandardPaths::GenericCacheLocation);
}
QString dataFolder() {
    return applicationFolder(QStandardPaths::GenericDataLocation);
}
QString configFolder() {
    return applicationFolder(QStandardPaths::GenericConfigLocation);
}

Outcome<Done> createFolder(const QString& path) {
    if (QDir().mkpath(path))
        return Done{};
    return Failure::file(QStringLiteral("cannot create folder %1").arg(path));
}

Outcome<Done> writeAtomically(const QString& path, const QByteArray& content) {
    auto folder = createFolder(QFileInfo(path).absolutePath());
    if (!folder)
        return folder;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return Failure::file(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    }
    if (file.write(content) != content.size() || !file.commit()) {
        return Failure::file(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    }
    return Done{};
}

Outcome<QByteArray> readWhole(const QString& path, qint64 maxBytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return Failure::file(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    }
    QByteArray content = file.read(maxBytes + 1);
    if (content.size() > maxBytes) {
        return Failure::url(UrlError::dataLengthExceedsMaximum,
                            QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(maxBytes));
    }
    if (file.error() != QFileDevice::NoError) {
        return Failure::file(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    }
    return content;
}

Outcome<Done> removeFile(const QString& path) {
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return Done{};
    if (QFile::remove(path))
        return Done{};
    return Failure::file(QStringLiteral("cannot remove %1").arg(path));
}

}  // namespace orvanta::Folders
