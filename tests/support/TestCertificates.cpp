#include "TestCertificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace orvanta::test {

namespace {

void runOpenssl(const QString& folder, const QStringList& arguments) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        std::fprintf(stderr, "openssl %s failed: %s\n", qPrintable(arguments.join(' ')),
                     process.readAllStandardError().constData());
        std::abort();
    }
}

void makeAuthority(const QString& folder, const QString& name, const QString& commonName) {
    runOpenssl(folder,
               {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                "-nodes", "-keyout", name + ".key", "-out", name + ".pem", "-days", "3", "-subj",
                "/CN=" + commonName, "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                "keyUsage=critical,keyCertSign,cRLSign"});
}

CertificatePair makeServer(const QString& folder, const QString& authority, const QString& name) {
    QFile extensions(folder + "/" + name + ".ext");
    extensions.open(QIODevice::WriteOnly);
    extensions.write(
        "basicConstraints=CA:FALSE\n"
        "keyUsage=critical,digitalSignature,keyEncipherment\n"
        "extendedKeyUsage=serverAuth\n"
        "subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1\n");
    extensions.close();
    runOpenssl(folder,
               {"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                "-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=localhost"});
    runOpenssl(folder, {"x509", "-req", "-in", name + ".csr", "-CA", authority + ".pem", "-CAkey",
                        authority + ".key", "-CAcreateserial", "-out", name + ".pem", "-days", "3",
                        "-extfile", name + ".ext"});
    return {folder + "/" + name + ".pem", folder + "/" + name + ".key"};
}

}  // namespace

const TestCertificates& TestCertificates::instance() {
    static QTemporaryDir dir;
    static const TestCertificates certificates = [] {
        TestCertificates result;
        result.folder = dir.path();
        makeAuthority(result.folder, "ca", "Orvanta Test CA");
        makeAuthority(result.folder, "rogue-ca", "Untrusted Test CA");
        result.caFile = result.folder + "/ca.pem";
        result.server = makeServer(result.folder, "ca", "server");
        result.untrusted = makeServer(result.folder, "rogue-ca", "rogue-server");
        qputenv("ORVANTA_CA_FILE", result.caFile.toUtf8());
        return result;
    }();
    return certificates;
}

}  // namespace orvanta::test
