#include "IcecastServer.h"
#include "PulseAudioServer.h"
#include "TemporaryHome.h"
#include "TestCertificates.h"
#include "TestServer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using namespace orvanta::test;

namespace {

// The lines `orvanta-radio-cli play` printed.
struct Session {
    int status = -1;
    QList<QJsonObject> lines;

    bool reached(const QString& phase, const QString& path = {}) const {
        for (const QJsonObject& line : lines) {
            if (line["phase"].toString() == phase &&
                (path.isEmpty() || line["path"].toString() == path)) {
                return true;
            }
        }
        return false;
    }
    QStringList errors() const {
        QStringList result;
        for (const QJsonObject& line : lines) {
            if (line["error"].isString() && !result.contains(line["error"].toString())) {
                result << line["error"].toString();
            }
        }
        return result;
    }
    QString dump() const {
        QStringList text;
        for (const QJsonObject& line : lines)
            text << QJsonDocument(line).toJson(QJsonDocument::Compact);
        return text.join('\n');
    }
};

}  // namespace

// The command-line player end to end: the real coordinator and engine
// against icecast behind nginx over TLS.
class CliPlayTest : public QObject {
    Q_OBJECT

private:
    TemporaryHome home_;
    IcecastServer icecast_;
    NginxServer nginx_;
    QProcessEnvironment environment_ = QProcessEnvironment::systemEnvironment();

    Session play(const QStringList& arguments, double seconds,
                 std::optional<QProcessEnvironment> environment = std::nullopt,
                 const std::function<void()>& during = {}) {
        QProcess process;
        process.setProcessEnvironment(environment.value_or(environment_));
        process.start(
            QStringLiteral(CLI_PATH),
            QStringList{"play"} + arguments + QStringList{"--seconds", QString::number(seconds)});
        Session session;
        if (!process.waitForStarted(10000))
            return session;
        if (during)
            during();
        if (!process.waitForFinished(int(seconds * 1000) + 20000))
            return session;
        session.status = process.exitCode();
        for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
            if (!line.isEmpty())
                session.lines << QJsonDocument::fromJson(line).object();
        }
        return session;
    }

private slots:
    void initTestCase() {
        TestCertificates::instance();
        QVERIFY(icecast_.start("/worship.mp3"));
        NginxServer::Options options;
        options.tlsServerConfig = QStringLiteral(R"(
            location = /worship { proxy_pass http://127.0.0.1:%1/worship.mp3; proxy_buffering off; }
            location /relay/ { proxy_pass http://127.0.0.1:%1/; proxy_buffering off; }
            location = /busy { add_header Retry-After 20 always; return 503; }
        )")
                                      .arg(icecast_.port());
        QVERIFY(nginx_.start(options));
        environment_.insert("ORVANTA_CA_FILE", TestCertificates::instance().caFile);
        environment_.insert("ORVANTA_CATALOG_URL", nginx_.httpsUrl("").toString());
        environment_.insert("ORVANTA_AUDIO_SINK", "fakesink sync=true");
        environment_.insert("XDG_CACHE_HOME", home_.filePath("cache"));
        environment_.insert("XDG_DATA_HOME", home_.filePath("data"));
        environment_.insert("XDG_CONFIG_HOME", home_.filePath("config"));
    }

    void catalogProgrammesPlayOnTheOwnPath() {
        const Session session = play({nginx_.httpsUrl("/worship.mp3").toString()}, 4);
        QCOMPARE(session.status, 0);
        QVERIFY2(session.reached("playing", "live"), qPrintable(session.dump()));
        QVERIFY(session.lines.last()["phase"].toString() == "paused");
        // The program's settings were never touched.
        QVERIFY(!QFile::exists(home_.filePath("config/orvanta-radio/settings.ini")));
    }

    void unknownStationIdSaysWhyAndFails() {
        // This catalog origin serves no catalog: nothing can be found in it.
        const Session session = play({"--station", "nosuch"}, 10);
        QCOMPARE(session.status, 1);
        const QJsonObject error = session.lines.last()["error"].toObject();
        QCOMPARE(error["code"].toInt(), -1008);
        QCOMPARE(error["message"].toString(),
                 "Не вдалося завантажити станції. Перевірте інтернет.");
        QCOMPARE(error.keys(), (QStringList{"code", "message"}));
    }

    void otherAddressesPlayOnThePlatformPath() {
        const Session session = play({nginx_.httpsUrl("/relay/worship.mp3").toString()}, 4);
        QCOMPARE(session.status, 0);
        QVERIFY2(session.reached("playing", "platform"), qPrintable(session.dump()));
        QVERIFY(!session.reached("playing", "live"));
    }

    void refusalsBecomeTheEnginesMessages_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("phase");
        QTest::addColumn<QString>("message");
        QTest::newRow("404 is permanent") << "/missing.mp3"
                                          << "failed"
                                          << "Потік тимчасово недоступний";
        QTest::newRow("503 waits as asked") << "/busy"
                                            << "reconnecting"
                                            << "Потік тимчасово недоступний";
    }
    void refusalsBecomeTheEnginesMessages() {
        QFETCH(QString, path);
        QFETCH(QString, phase);
        QFETCH(QString, message);
        const Session session = play({nginx_.httpsUrl(path).toString()}, 3);
        QVERIFY2(session.reached(phase), qPrintable(session.dump()));
        QCOMPARE(session.errors(), QStringList{message});
        // A 503 asking for 20 s is not retried within the run.
        if (phase == "reconnecting") {
            int attempts = 0;
            for (const QJsonObject& line : session.lines)
                attempts = std::max(attempts, line["attempt"].toInt());
            QCOMPARE(attempts, 0);
        }
    }

    void anUntrustedCertificateFailsForGood() {
        NginxServer rogue;
        NginxServer::Options options;
        options.untrustedCertificate = true;
        QVERIFY(rogue.start(options));
        const Session session = play({rogue.httpsUrl("/relay/worship.mp3").toString()}, 2);
        QVERIFY2(session.reached("failed"), qPrintable(session.dump()));
        QCOMPARE(session.errors(), QStringList{"Не вдалося перевірити захищене з’єднання"});
    }

    void theSourceStoppingIsReported() {
        const Session session =
            play({nginx_.httpsUrl("/relay/worship.mp3").toString()}, 8, std::nullopt, [this] {
                QTest::qWait(3000);
                icecast_.stopSource();
            });
        QVERIFY(icecast_.startSource());
        QVERIFY2(session.reached("playing", "platform"), qPrintable(session.dump()));
        QVERIFY2(session.errors().contains("Ефір завершив з’єднання") ||
                     session.errors().contains("Помилка аудіопотоку"),
                 qPrintable(session.dump()));
    }

    void soundReachesAPulseAudioSink() {
        PulseAudioServer pulse;
        QVERIFY(pulse.start());
        QProcessEnvironment environment = pulse.environment(environment_);
        environment.insert("ORVANTA_AUDIO_SINK", "pulsesink");
        int peak = -1;
        const Session session =
            play({nginx_.httpsUrl("/worship.mp3").toString()}, 6, environment, [&] {
                QTest::qWait(2500);
                peak = pulse.peakOfMonitor(1.5);
            });
        QVERIFY2(session.reached("playing", "live"), qPrintable(session.dump()));
        // ffmpeg's test tone is a sine at an eighth of full scale.
        QVERIFY2(peak > 1000, qPrintable(QString::number(peak)));
    }
};

QTEST_GUILESS_MAIN(CliPlayTest)
#include "test_cli_play.moc"
