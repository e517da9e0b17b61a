#include "TemporaryHome.h"
#include "platform/Folders.h"
#include "platform/PreferenceStore.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <memory>

using namespace orvanta;

class PreferencesAndFoldersTest : public QObject {
    Q_OBJECT

private:
    void checkStore(PreferenceStore& store) {
        QVERIFY(!store.contains("mac.volume"));
        QVERIFY(!store.number("mac.volume").has_value());
        store.setNumber("mac.volume", 0.0);
        QVERIFY(store.contains("mac.volume"));
        QCOMPARE(store.number("mac.volume").value(), 0.0);
        store.setBoolean("mac.seeded.v1", false);
        QCOMPARE(store.boolean("mac.seeded.v1"), std::optional<bool>(false));
        store.setData("personalStations.v1", QByteArray("[{\"a\":1}]\0x", 11));
        QCOMPARE(store.data("personalStations.v1").value(), QByteArray("[{\"a\":1}]\0x", 11));
        store.setInteger("personalStations.lastCloudErrorCode", -1202);
        QCOMPARE(store.integer("personalStations.lastCloudErrorCode").value(), -1202);
        store.setText("selectedStationID", QStringLiteral("personal:ЖАБА"));
        QCOMPARE(store.text("selectedStationID").value(), QStringLiteral("personal:ЖАБА"));
        store.remove("mac.volume");
        QVERIFY(!store.contains("mac.volume"));
    }

private slots:
    void memoryStoreKeepsTypesAndPresence() {
        MemoryPreferenceStore store;
        checkStore(store);
    }

    void settingsStoreSurvivesARestart() {
        test::TemporaryHome home;
        {
            SettingsPreferenceStore store;
            checkStore(store);
        }
        SettingsPreferenceStore reopened;
        QCOMPARE(reopened.boolean("mac.seeded.v1"), std::optional<bool>(false));
        QCOMPARE(reopened.data("personalStations.v1").value(), QByteArray("[{\"a\":1}]\0x", 11));
        QCOMPARE(reopened.integer("personalStations.lastCloudErrorCode").value(), -1202);
        QVERIFY(!reopened.contains("mac.volume"));
        QVERIFY(QFile::exists(home.path() + "/config/orvanta-radio/settings.ini"));
    }

    void foldersFollowXdgAndWritesAreAtomic() {
        test::TemporaryHome home;
        QCOMPARE(Folders::cacheFolder(), home.path() + "/cache/orvanta-radio");
        QCOMPARE(Folders::dataFolder(), home.path() + "/data/orvanta-radio");
        const QString file = Folders::cacheFolder() + "/deep/er/catalog.json";
        QVERIFY(Folders::writeAtomically(file, "one").ok());
        QVERIFY(Folders::writeAtomically(file, "two").ok());
        QCOMPARE(Folders::readWhole(file).value(), QByteArray("two"));
        // No temporary files are left beside it.
        QCOMPARE(QDir(QFileInfo(file).path()).entryList(QDir::Files), QStringList{"catalog.json"});
        auto tooLarge = Folders::readWhole(file, 2);
        QVERIFY(tooLarge.failed());
        QVERIFY(tooLarge.failure().isUrl(UrlError::dataLengthExceedsMaximum));
        QVERIFY(Folders::removeFile(file).ok());
        QVERIFY(Folders::removeFile(file).ok());
        QVERIFY(Folders::readWhole(file).failed());
    }

    void aWriteThatCannotHappenLeavesTheOldContent() {
        test::TemporaryHome home;
        const QString folder = home.filePath("ro");
        QVERIFY(Folders::createFolder(folder).ok());
        const QString file = folder + "/f";
        QVERIFY(Folders::writeAtomically(file, "kept").ok());
        // A folder in the way of the target: the write fails, nothing changes.
        QVERIFY(Folders::writeAtomically(file + "/child", "x").failed());
        QCOMPARE(Folders::readWhole(file).value(), QByteArray("kept"));
    }
};

QTEST_GUILESS_MAIN(PreferencesAndFoldersTest)
#include "test_preferences_and_folders.moc"
