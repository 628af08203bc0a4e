#pragma once
// Certificates for tests of encrypted connections, made when the test runs (through the OpenSSL library:
// a fresh machine need not have its command-line tool).
//
//     const TestCertificates certs = TestCertificates::writeTo(folder);
//     server.setCertificate(certs.server.certificatePem, certs.server.keyPem);
//     server.setEncryption(Encryption::On);
//     ... freetds.conf section: "ca file = " + certs.ca.certificateFile ...

#include <string>
#include <vector>

namespace quorix::tds::testing {

// A certificate and its private key, as written into the folder and as text.
struct TestCertificate {
    std::string certificateFile; // <folder>/<name>.pem
    std::string keyFile;         // <folder>/<name>.key (PKCS#8, not encrypted)
    std::string certificatePem;
    std::string keyPem;
    std::string fingerprint; // SHA-256 of the DER form: upper-case hex, ':' between bytes ("AB:CD:...")
    std::string subject;     // RFC 2253 text, most specific first: "CN=localhost,O=QUORIX Test"
    std::string issuer;      // likewise
};

struct CertificateRequest {
    std::string commonName;
    std::vector<std::string> dnsNames;    // subjectAltName DNS entries
    std::vector<std::string> ipAddresses; // subjectAltName IP entries ("127.0.0.2")
    bool ca = false;                      // CA:TRUE (may sign certificates) rather than a server's
};

// Makes a new key and a certificate for it, valid from a day ago for a year, signed by `issuer` (nullptr:
// self-signed), and writes both files. The folder must exist. Throws std::runtime_error.
TestCertificate makeCertificate(const std::string &folder, const std::string &name,
                                const CertificateRequest &request, const TestCertificate *issuer = nullptr);

// The fingerprint, subject and issuer of a PEM certificate (the first in the text), as in TestCertificate.
struct CertificateFacts {
    std::string fingerprint, subject, issuer;
};
CertificateFacts certificateFacts(const std::string &pem);

// The names the tests' servers are reached by: DNS localhost, IP 127.0.0.1, 127.0.0.2 and 127.0.0.3.
CertificateRequest serverRequest(const std::string &commonName);

struct TestCertificates {
    TestCertificate ca;              // ca.pem: "CN=QUORIX Test CA", self-signed, CA:TRUE
    TestCertificate server;          // server.pem: signed by ca, the server names
    TestCertificate selfSigned;      // self-signed.pem: the server names, signed by its own key
    TestCertificate otherSelfSigned; // other-self-signed.pem: likewise with another key ("it changed")

    static TestCertificates writeTo(const std::string &folder);
};

} // namespace quorix::tds::testing
