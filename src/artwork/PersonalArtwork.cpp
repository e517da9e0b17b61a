#include "artwork/PersonalArtwork.h"

#include "artwork/ArtworkLimits.h"
#include "artwork/ImageThumbnail.h"
#include "platform/Folders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUuid>

namespace orvanta::PersonalArtwork {

namespace {

const QLatin1String photoSuffix(".jpg");

bool isHexDigit(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

bool isUuidText(QStringView text) {
    constexpr qsizetype uuidLength = 36;
    if (text.size() != uuidLength)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != QLatin1Char('-'))
                return false;
        } else if (!isHexDigit(c)) {
            return false;
        }
    }
    return true;
}

Failure unsupported(const QUrl& address) {
    return Failure::url(UrlError::unsupportedURL,
                        QStringLiteral("%1 is not a personal photo file.")
                            .arg(address.toDisplayString(QUrl::PreferLocalFile)));
}

}  // namespace

std::optional<QString> folderPath() {
    if (QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).isEmpty())
        return std::nullopt;
    return Folders::dataFolder() + QLatin1Char('/') + folderName;
}

bool isPhotoName(QStringView name) {
    return name.endsWith(photoSuffix, Qt::CaseSensitive) &&
           isUuidText(name.first(name.size() - photoSuffix.size()));
}

std::optional<QUrl> fileURL(const QString& name) {
    if (!isPhotoName(name))
        return std::nullopt;
    const std::optional<QString> folder = folderPath();
    if (!folder)
        return std::nullopt;
    return QUrl::fromLocalFile(*folder + QLatin1Char('/') + name);
}

Outcome<QString> storePhoto(const QByteArray& bytes) {
    if (bytes.size() > ArtworkLimits::maximumPhotoFileBytes) {
        return Failure::url(UrlError::cannotDecodeContentData,
                            QStringLiteral("The photo is larger than %1 bytes.")
                                .arg(ArtworkLimits::maximumPhotoFileBytes));
    }
    if (!ImageThumbnail::readHeader(bytes)) {
        return Failure::url(UrlError::cannotDecodeContentData,
                            QStringLiteral("The photo is no picture."));
    }
    const QString name = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + photoSuffix;
    const std::optional<QUrl> address = fileURL(name);
    if (!address) {
        return Failure::url(UrlError::cannotCreateFile,
                            QStringLiteral("There is no folder for personal photos."));
    }
    const QString path = address->toLocalFile();
    if (auto created = Folders::createFolder(QFileInfo(path).absolutePath()); !created)
        return created.propagate<QString>();
    if (auto written = Folders::writeAtomically(path, bytes); !written)
        return written.propagate<QString>();
    return name;
}

void deletePhoto(const QString& name) {
    if (const std::optional<QUrl> address = fileURL(name))
        (void)Folders::removeFile(address->toLocalFile());
}

Outcome<QByteArray> readPhoto(const QUrl& address) {
    if (!address.isLocalFile())
        return unsupported(address);
    const std::optional<QUrl> expected = fileURL(QFileInfo(address.toLocalFile()).fileName());
    // Compared after resolving "." and ".." so that a path leading out of the
    // folder and back in is still recognised, and one leading out is not.
    if (!expected || address.adjusted(QUrl::NormalizePathSegments) !=
                         expected->adjusted(QUrl::NormalizePathSegments)) {
        return unsupported(address);
    }
    const QString path = expected->toLocalFile();
    const QFileInfo file(path);
    if (!file.exists()) {
        return Failure::file(QStringLiteral("cannot read %1: no such file").arg(path));
    }
    // A link planted in the folder must not lead the reader anywhere else.
    const QString realPath = file.canonicalFilePath();
    const QString realFolder = QDir(*folderPath()).canonicalPath();
    if (realPath.isEmpty() || QFileInfo(realPath).absolutePath() != realFolder)
        return unsupported(address);
    // Reading a pipe or a device could block or never end.
    if (!QFileInfo(realPath).isFile())
        return Failure::file(QStringLiteral("cannot read %1: not a regular file").arg(path));
    return Folders::readWhole(realPath, ArtworkLimits::maximumPhotoFileBytes);
}

}  // namespace orvanta::PersonalArtwork
