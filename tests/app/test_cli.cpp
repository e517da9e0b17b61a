#include "TemporaryHome.h"
#include "TestCertificates.h"
#include "TestServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using namespace orvanta::test;

namespace {

struct Run {
    int status = -1;
    QList<QJsonObject> lines;
};

Run runCli(const QStringList& arguments, const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(CLI_PATH), arguments);
    Run run;
    if (!process.waitForFinished(30000))
        return run;
    run.status = process.exitCode();
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty())
            run.lines << QJsonDocument::fromJson(line).object();
    }
    return run;
}

}  // namespace

// The command-line front end, run as a separate process.
class CliTest : public QObject {
    Q_OBJECT

private:
    TemporaryHome home_;
    QProcessEnvironment environment_ = QProcessEnvironment::systemEnvironment();

private slots:
    void initTestCase() {
        environment_.insert("ORVANTA_CA_FILE", TestCertificates::instance().caFile);
        environment_.insert("XDG_CACHE_HOME", home_.filePath("cache"));
    }

    void cleanTitlePrintsOneObjectPerText() {
        const Run run =
            runCli({"clean-title", "Океан Ельзи - Обійми", "Лише назва", "   "}, environment_);
        QCOMPARE(run.status, 0);
        QCOMPARE(run.lines.size(), 3);
        QCOMPARE(run.lines[0]["displayArtist"].toString(), QStringLiteral("Океан Ельзи"));
        QCOMPARE(run.lines[0]["displayTitle"].toString(), QStringLiteral("Обійми"));
        QVERIFY(run.lines[1]["artist"].isNull());
        QCOMPARE(run.lines[1]["title"].toString(), QStringLiteral("Лише назва"));
        QCOMPARE(run.lines[2]["clean"].toString(), QString());
        QVERIFY(run.lines[2]["title"].isNull());
    }

    void catalogComesFromTheServerThenFromTheCache() {
        NginxServer nginx;
        QVERIFY(nginx.start());
        QVERIFY(nginx.writeFile(
            "api/v1/stations",
            "{\"schemaVersion\":1,\"stations\":["
            "{\"id\":\"b\",\"title\":\"Б\",\"sortOrder\":2,\"isVisible\":true,\"isEnabled\":true,"
            "\"stream\":{\"url\":\"https://radio.example/ukraine.mp3\",\"mimeType\":\"audio/"
            "mpeg\"}},"
            "{\"id\":\"a\",\"title\":\"А\",\"sortOrder\":1,\"isVisible\":true,\"isEnabled\":true}]"
            "}"));
        QProcessEnvironment environment = environment_;
        environment.insert("ORVANTA_CATALOG_URL", nginx.httpsUrl("").toString());
        const QString cache = home_.filePath("catalog.json");
        Run run = runCli({"catalog", "--cache", cache}, environment);
        QCOMPARE(run.status, 0);
        QCOMPARE(run.lines.size(), 1);
        QCOMPARE(run.lines[0]["isCached"].toBool(), false);
        const QJsonArray stations = run.lines[0]["stations"].toArray();
        QCOMPARE(stations.size(), 2);
        QCOMPARE(stations[0].toObject()["id"].toString(), QStringLiteral("a"));
        QVERIFY(stations[0].toObject()["streamKey"].isNull());

        nginx.stop();
        run = runCli({"catalog", "--cache", cache}, environment);
        QCOMPARE(run.status, 0);
        QCOMPARE(run.lines[0]["isCached"].toBool(), true);

        run = runCli({"catalog", "--cache", home_.filePath("none.json")}, environment);
        QCOMPARE(run.status, 1);
        QVERIFY(run.lines[0]["error"].toObject()["code"].toInt() < 0);
    }

    void probeReportsTheCheck() {
        NginxServer nginx;
        NginxServer::Options options;
        options.tlsServerConfig =
            "location = /stream { default_type audio/mpeg; add_header icy-genre Jazz; }";
        QVERIFY(nginx.start(options));
        QVERIFY(nginx.writeFile("stream", QByteArray(4096, '\0')));
        Run run = runCli({"probe", nginx.httpsUrl("/stream").toString()}, environment_);
        QCOMPARE(run.status, 0);
        QCOMPARE(run.lines[0]["status"].toInt(), 200);
        QCOMPARE(run.lines[0]["mimeType"].toString(), QStringLiteral("audio/mpeg"));
        QCOMPARE(run.lines[0]["genre"].toString(), QStringLiteral("Jazz"));

        run = runCli({"probe", nginx.httpsUrl("/missing").toString()}, environment_);
        QCOMPARE(run.status, 1);
        QCOMPARE(run.lines[0]["message"].toString(), QStringLiteral("Потік тимчасово недоступний"));
        QCOMPARE(run.lines[0]["permanent"].toBool(), true);
        QVERIFY(run.lines[0]["retryAfter"].isNull());
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "test_cli.moc"
