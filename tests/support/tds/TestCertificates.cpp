#include "tds/TestCertificates.h"

#include "tds/Tls.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fstream>
#include <memory>
#include <stdexcept>

namespace quorix::tds::testing {

namespace {

template <typename T, void (*Free)(T *)> struct Deleter {
    void operator()(T *p) const { Free(p); }
};
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using Cert = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;

[[noreturn]] void fail(const std::string &what) {
    throw std::runtime_error("test certificate: " + what + openSslError());
}

template <typename T> T *check(T *p, const char *what) {
    if (!p)
        fail(what);
    return p;
}

void check(int ok, const char *what) {
    if (ok != 1)
        fail(what);
}

std::string textOf(BIO *b) {
    char *data = nullptr;
    const long n = BIO_get_mem_data(b, &data);
    return std::string(data, static_cast<std::size_t>(n));
}

std::string nameText(const X509_NAME *name) {
    Bio b(check(BIO_new(BIO_s_mem()), "buffer"));
    X509_NAME_print_ex(b.get(), name, 0, XN_FLAG_RFC2253);
    return textOf(b.get());
}

void addExtension(X509 *cert, X509 *issuer, int nid, const std::string &value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION *ext = check(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str()), "extension");
    const int added = X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
    check(added, "adding an extension");
}

std::string fingerprintOf(const X509 *cert) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    check(X509_digest(cert, EVP_sha256(), digest, &length), "fingerprint");
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        if (i > 0)
            out += ':';
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

void writeFile(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush())
        throw std::runtime_error("test certificate: cannot write " + path);
}

Cert readCertificate(const std::string &pem) {
    Bio b(check(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), "buffer"));
    return Cert(check(PEM_read_bio_X509(b.get(), nullptr, nullptr, nullptr), "certificate"));
}

Key readKey(const std::string &pem) {
    Bio b(check(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), "buffer"));
    return Key(check(PEM_read_bio_PrivateKey(b.get(), nullptr, nullptr, nullptr), "key"));
}

} // namespace

TestCertificate makeCertificate(const std::string &folder, const std::string &name,
                                const CertificateRequest &request, const TestCertificate *issuer) {
    ERR_clear_error();
    // P-256: made in a blink, where an RSA key takes a noticeable while on a busy machine.
    Key key(check(EVP_EC_gen("P-256"), "key"));
    Cert cert(check(X509_new(), "certificate"));
    check(X509_set_version(cert.get(), 2), "version"); // v3

    unsigned char serial[16];
    check(RAND_bytes(serial, sizeof serial), "serial");
    serial[0] &= 0x7F; // positive
    BIGNUM *bn = check(BN_bin2bn(serial, sizeof serial, nullptr), "serial");
    ASN1_INTEGER *asn = BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
    BN_free(bn);
    check(asn, "serial");

    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -24L * 3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 365L * 24 * 3600);
    check(X509_set_pubkey(cert.get(), key.get()), "public key");

    X509_NAME *subject = X509_get_subject_name(cert.get());
    const auto entry = [&](const char *field, const std::string &value) {
        check(X509_NAME_add_entry_by_txt(subject, field, MBSTRING_UTF8,
                                         reinterpret_cast<const unsigned char *>(value.c_str()), -1, -1, 0),
              "subject");
    };
    entry("O", "QUORIX Test");
    entry("CN", request.commonName);

    Cert issuerCert = issuer ? readCertificate(issuer->certificatePem) : nullptr;
    Key issuerKey = issuer ? readKey(issuer->keyPem) : nullptr;
    X509 *signer = issuer ? issuerCert.get() : cert.get();
    check(X509_set_issuer_name(cert.get(), X509_get_subject_name(signer)), "issuer");

    addExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    addExtension(cert.get(), signer, NID_authority_key_identifier, "keyid:always");
    if (request.ca) {
        addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature");
        addExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth");
    }
    std::string names;
    for (const std::string &dns : request.dnsNames)
        names += (names.empty() ? "DNS:" : ",DNS:") + dns;
    for (const std::string &ip : request.ipAddresses)
        names += (names.empty() ? "IP:" : ",IP:") + ip;
    if (!names.empty())
        addExtension(cert.get(), signer, NID_subject_alt_name, names);

    if (X509_sign(cert.get(), issuer ? issuerKey.get() : key.get(), EVP_sha256()) <= 0)
        fail("signing");

    TestCertificate out;
    Bio certText(check(BIO_new(BIO_s_mem()), "buffer"));
    check(PEM_write_bio_X509(certText.get(), cert.get()), "certificate text");
    out.certificatePem = textOf(certText.get());
    Bio keyText(check(BIO_new(BIO_s_mem()), "buffer"));
    check(PEM_write_bio_PrivateKey(keyText.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr),
          "key text");
    out.keyPem = textOf(keyText.get());
    const CertificateFacts facts = certificateFacts(out.certificatePem);
    out.fingerprint = facts.fingerprint;
    out.subject = facts.subject;
    out.issuer = facts.issuer;
    out.certificateFile = folder + "/" + name + ".pem";
    out.keyFile = folder + "/" + name + ".key";
    writeFile(out.certificateFile, out.certificatePem);
    writeFile(out.keyFile, out.keyPem);
    return out;
}

CertificateFacts certificateFacts(const std::string &pem) {
    const Cert cert = readCertificate(pem);
    return {fingerprintOf(cert.get()), nameText(X509_get_subject_name(cert.get())),
            nameText(X509_get_issuer_name(cert.get()))};
}

CertificateRequest serverRequest(const std::string &commonName) {
    return {commonName, {"localhost"}, {"127.0.0.1", "127.0.0.2", "127.0.0.3"}, false};
}

TestCertificates TestCertificates::writeTo(const std::string &folder) {
    TestCertificates c;
    c.ca = makeCertificate(folder, "ca", {"QUORIX Test CA", {}, {}, true});
    c.server = makeCertificate(folder, "server", serverRequest("localhost"), &c.ca);
    c.selfSigned = makeCertificate(folder, "self-signed", serverRequest("localhost"));
    c.otherSelfSigned = makeCertificate(folder, "other-self-signed", serverRequest("localhost"));
    return c;
}

} // namespace quorix::tds::testing
