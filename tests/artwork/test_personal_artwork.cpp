#include "ImageFixtures.h"
#include "TemporaryHome.h"
#include "artwork/PersonalArtwork.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace orvanta;
using namespace orvanta::test;

namespace {

const QString someName = QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF.jpg");

QString photoFolder() {
    return *PersonalArtwork::folderPath();
}

bool writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QStringList photoFiles() {
    return QDir(photoFolder()).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

}  // namespace

class PersonalArtworkTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TemporaryHome> home_;

private slots:
    void init() { home_ = std::make_unique<TemporaryHome>(); }
    void cleanup() { home_.reset(); }

    void fileURLAcceptsOnlyPhotoNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("upper-case UUID") << someName << true;
        QTest::newRow("lower-case UUID") << someName.toLower() << true;
        QTest::newRow("suffix in capitals") << someName.chopped(4) + ".JPG" << false;
        QTest::newRow("other suffix") << someName.chopped(4) + ".png" << false;
        QTest::newRow("no suffix") << someName.chopped(4) << false;
        QTest::newRow("UUID in braces") << "{" + someName.chopped(4) + "}.jpg" << false;
        QTest::newRow("UUID without hyphens") << someName.chopped(4).remove('-') + ".jpg" << false;
        QTest::newRow("not hexadecimal") << "6F9619FF-8B86-D011-B42D-00C04FC964FG.jpg" << false;
        QTest::newRow("a path") << "../" + someName << false;
        QTest::newRow("just the suffix") << ".jpg" << false;
        QTest::newRow("empty") << "" << false;
    }
    void fileURLAcceptsOnlyPhotoNames() {
        QFETCH(QString, name);
        QFETCH(bool, accepted);
        const std::optional<QUrl> url = PersonalArtwork::fileURL(name);
        QCOMPARE(url.has_value(), accepted);
        if (url) {
            QCOMPARE(url->toLocalFile(),
                     home_->path() + "/data/orvanta-radio/PersonalRadioArtwork/" + name);
            QVERIFY(!QFile::exists(url->toLocalFile()));  // given whether or not it exists
        }
    }

    void storedPhotosGetFreshNamesAndReadBackUnchanged() {
        const QByteArray photo = paddedJpeg(jpegOfSize({600, 400}, 88), 2'097'152);
        QCOMPARE(photo.size(), 2'097'152);
        const Outcome<QString> first = PersonalArtwork::storePhoto(photo);
        QVERIFY(first.ok());
        QVERIFY(QRegularExpression("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.jpg$")
                    .match(*first)
                    .hasMatch());
        const Outcome<QString> second = PersonalArtwork::storePhoto(photo);
        QVERIFY(second.ok());
        QVERIFY(*first != *second);
        const auto read = PersonalArtwork::readPhoto(*PersonalArtwork::fileURL(*first));
        QVERIFY(read.ok());
        QCOMPARE(*read, photo);
        // Written whole: no temporary file is left beside the photos.
        QCOMPARE(photoFiles().size(), 2);
    }

    void storePhotoRefusesWithoutWriting_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("one byte over the bound")
            << paddedJpeg(jpegOfSize({600, 400}, 88), 2'097'153);
        QTest::newRow("no picture") << QByteArray("not a picture at all");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("svg") << QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\"/>");
    }
    void storePhotoRefusesWithoutWriting() {
        QFETCH(QByteArray, bytes);
        const Outcome<QString> stored = PersonalArtwork::storePhoto(bytes);
        QVERIFY(stored.failed());
        QCOMPARE(stored.failure().code, long(UrlError::cannotDecodeContentData));
        QVERIFY(photoFiles().isEmpty());
    }

    void deletePhotoRemovesAndStaysQuiet() {
        const Outcome<QString> stored = PersonalArtwork::storePhoto(jpegOfSize({10, 10}));
        QVERIFY(stored.ok());
        PersonalArtwork::deletePhoto(*stored);
        QVERIFY(photoFiles().isEmpty());
        PersonalArtwork::deletePhoto(*stored);  // already gone
        PersonalArtwork::deletePhoto(someName);
        PersonalArtwork::deletePhoto("../../settings.ini");
        QVERIFY(QFile::exists(home_->path() + "/data"));
    }

    void readPhotoOnlyReadsRealPhotoFiles_data() {
        QTest::addColumn<QString>("setUp");
        QTest::addColumn<QString>("address");
        QTest::addColumn<long>("code");  // 0: read; 1: a file error
        QTest::newRow("a photo") << "photo"
                                 << "{FOLDER}/{NAME}" << 0L;
        QTest::newRow("a round trip through the parent")
            << "photo"
            << "{FOLDER}/../PersonalRadioArtwork/{NAME}" << 0L;
        QTest::newRow("another folder") << "outside"
                                        << "{HOME}/{NAME}" << long(UrlError::unsupportedURL);
        QTest::newRow("out through the parent")
            << "outside"
            << "{FOLDER}/../../../{NAME}" << long(UrlError::unsupportedURL);
        QTest::newRow("suffix in capitals") << "capitals"
                                            << "{FOLDER}/{UPPER}" << long(UrlError::unsupportedURL);
        QTest::newRow("a link leading out") << "link"
                                            << "{FOLDER}/{NAME}" << long(UrlError::unsupportedURL);
        QTest::newRow("with a query") << "photo"
                                      << "{FOLDER}/{NAME}?x=1" << long(UrlError::unsupportedURL);
        QTest::newRow("missing") << "none"
                                 << "{FOLDER}/{NAME}" << 1L;
        QTest::newRow("a folder of that name") << "folder"
                                               << "{FOLDER}/{NAME}" << 1L;
        QTest::newRow("larger than a photo may be")
            << "large"
            << "{FOLDER}/{NAME}" << long(UrlError::dataLengthExceedsMaximum);
        QTest::newRow("network address")
            << "photo"
            << "https://example.org/{NAME}" << long(UrlError::unsupportedURL);
    }
    void readPhotoOnlyReadsRealPhotoFiles() {
        QFETCH(QString, setUp);
        QFETCH(QString, address);
        QFETCH(long, code);
        const QString folder = photoFolder();
        const QByteArray photo = jpegOfSize({16, 16});
        const QString upper = someName.chopped(4) + ".JPG";
        QVERIFY(QDir().mkpath(folder));
        if (setUp == "photo")
            QVERIFY(writeFile(folder + "/" + someName, photo));
        if (setUp == "outside")
            QVERIFY(writeFile(home_->path() + "/" + someName, photo));
        if (setUp == "capitals")
            QVERIFY(writeFile(folder + "/" + upper, photo));
        if (setUp == "link") {
            QVERIFY(writeFile(home_->path() + "/secret.txt", "secret"));
            QVERIFY(QFile::link(home_->path() + "/secret.txt", folder + "/" + someName));
        }
        if (setUp == "folder")
            QVERIFY(QDir().mkpath(folder + "/" + someName));
        if (setUp == "large")
            QVERIFY(writeFile(folder + "/" + someName, QByteArray(2'097'153, 'x')));

        QString text = address;
        text.replace("{FOLDER}", folder)
            .replace("{HOME}", home_->path())
            .replace("{NAME}", someName)
            .replace("{UPPER}", upper);
        const QUrl url = text.startsWith("https:") ? QUrl(text) : QUrl("file://" + text);
        const Outcome<QByteArray> read = PersonalArtwork::readPhoto(url);
        if (code == 0) {
            QVERIFY2(read.ok(), qPrintable(read.ok() ? "" : read.failure().describe()));
            QCOMPARE(*read, photo);
        } else if (code == 1) {
            QVERIFY(read.failed());
            QCOMPARE(read.failure().domain, ErrorDomain::file);
        } else {
            QVERIFY(read.failed());
            QCOMPARE(read.failure().code, code);
        }
    }
};

QTEST_GUILESS_MAIN(PersonalArtworkTest)
#include "test_personal_artwork.moc"
