#pragma once

#include <QString>

namespace orvanta::test {

// A throwaway certificate authority and server certificates for loopback
// servers, made once per test process with openssl. The trusted CA is
// exported as ORVANTA_CA_FILE; the untrusted one is not trusted anywhere.
struct CertificatePair {
    QString certificate;  // PEM file
    QString key;          // PEM file
};

class TestCertificates {
public:
    static const TestCertificates& instance();

    QString caFile;             // the trusted test CA
    CertificatePair server;     // localhost, 127.0.0.1, ::1 signed by the test CA
    CertificatePair untrusted;  // the same names, signed by a CA nobody trusts
    QString folder;
};

}  // namespace orvanta::test
