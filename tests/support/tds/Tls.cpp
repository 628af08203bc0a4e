#include "tds/Tls.h"

#include "tds/Wire.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace quorix::tds {

std::string openSslError() {
    std::string detail;
    if (const unsigned long e = ERR_get_error()) {
        char text[256];
        ERR_error_string_n(e, text, sizeof text);
        detail = std::string(": ") + text;
    }
    ERR_clear_error();
    return detail;
}

namespace {

// What was being done, with the oldest queued OpenSSL error.
[[noreturn]] void fail(const std::string &what) {
    throw TlsError("TLS " + what + openSslError());
}

struct BioFree {
    void operator()(BIO *b) const { BIO_free(b); }
};
struct X509Free {
    void operator()(X509 *x) const { X509_free(x); }
};
struct KeyFree {
    void operator()(EVP_PKEY *k) const { EVP_PKEY_free(k); }
};

std::unique_ptr<BIO, BioFree> memoryOf(const std::string &pem) {
    return std::unique_ptr<BIO, BioFree>(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
}

constexpr std::size_t kRecordHeader = 5;

} // namespace

TlsContext::TlsContext(const std::string &chainPem, const std::string &keyPem) {
    ERR_clear_error();
    m_ctx = SSL_CTX_new(TLS_server_method());
    if (!m_ctx)
        fail("context");
    // TDS 7.x servers speak TLS 1.2 at most; FreeTDS also relies on the handshake ending with a flight of
    // the server's, which TLS 1.3 does not have.
    SSL_CTX_set_min_proto_version(m_ctx, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(m_ctx, TLS1_2_VERSION);
    SSL_CTX_set_options(m_ctx, SSL_OP_NO_TICKET);
    SSL_CTX_set_session_cache_mode(m_ctx, SSL_SESS_CACHE_OFF);
    try {
        auto chain = memoryOf(chainPem);
        std::unique_ptr<X509, X509Free> leaf(PEM_read_bio_X509(chain.get(), nullptr, nullptr, nullptr));
        if (!leaf || SSL_CTX_use_certificate(m_ctx, leaf.get()) != 1)
            fail("certificate");
        while (X509 *next = PEM_read_bio_X509(chain.get(), nullptr, nullptr, nullptr)) {
            if (SSL_CTX_add0_chain_cert(m_ctx, next) != 1) {
                X509_free(next);
                fail("chain certificate");
            }
        }
        ERR_clear_error(); // the end of the PEM text
        auto keyText = memoryOf(keyPem);
        std::unique_ptr<EVP_PKEY, KeyFree> key(
            PEM_read_bio_PrivateKey(keyText.get(), nullptr, nullptr, nullptr));
        if (!key || SSL_CTX_use_PrivateKey(m_ctx, key.get()) != 1)
            fail("private key");
        if (SSL_CTX_check_private_key(m_ctx) != 1)
            fail("key that does not fit the certificate");
    } catch (...) {
        SSL_CTX_free(m_ctx);
        throw;
    }
}

TlsContext::~TlsContext() {
    SSL_CTX_free(m_ctx);
}

TlsSession::TlsSession(std::shared_ptr<const TlsContext> context) : m_context(std::move(context)) {
    ERR_clear_error();
    m_ssl = SSL_new(m_context->handle());
    m_in = BIO_new(BIO_s_mem());
    m_out = BIO_new(BIO_s_mem());
    if (!m_ssl || !m_in || !m_out) {
        SSL_free(m_ssl);
        BIO_free(m_in);
        BIO_free(m_out);
        fail("session");
    }
    // An empty input BIO means "wait for more", not end of stream.
    BIO_set_mem_eof_return(m_in, -1);
    SSL_set_bio(m_ssl, m_in, m_out);
    SSL_set_accept_state(m_ssl);
}

TlsSession::~TlsSession() {
    SSL_free(m_ssl);
}

Bytes TlsSession::drainOutput() {
    Bytes out;
    char buf[16384];
    for (int n; (n = BIO_read(m_out, buf, sizeof buf)) > 0;)
        out.append(buf, static_cast<std::size_t>(n));
    return out;
}

bool TlsSession::handshake(const Bytes &fromClient, Bytes &reply) {
    if (!fromClient.empty() && BIO_write(m_in, fromClient.data(), static_cast<int>(fromClient.size())) <= 0)
        fail("buffer");
    const int r = SSL_do_handshake(m_ssl);
    reply += drainOutput(); // an alert too, when the handshake failed
    if (r == 1)
        return true;
    const int e = SSL_get_error(m_ssl, r);
    if (e == SSL_ERROR_WANT_READ)
        return false;
    fail("handshake");
}

bool TlsSession::decryptRecord(Bytes &plain) {
    if (m_cipher.size() < kRecordHeader)
        return false;
    const auto *h = reinterpret_cast<const unsigned char *>(m_cipher.data());
    const std::size_t record = kRecordHeader + ((static_cast<std::size_t>(h[3]) << 8) | h[4]);
    if (m_cipher.size() < record)
        return false;
    if (BIO_write(m_in, m_cipher.data(), static_cast<int>(record)) <= 0)
        fail("buffer");
    m_cipher.erase(0, record);
    char buf[16384];
    for (;;) {
        const int n = SSL_read(m_ssl, buf, sizeof buf);
        if (n > 0) {
            plain.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        const int e = SSL_get_error(m_ssl, n);
        if (e == SSL_ERROR_WANT_READ)
            return true;
        if (e == SSL_ERROR_ZERO_RETURN)
            throw ConnectionClosed();
        fail("record");
    }
}

Bytes TlsSession::takeUndecrypted() {
    Bytes rest;
    rest.swap(m_cipher);
    return rest;
}

Bytes TlsSession::encrypt(const char *data, std::size_t n) {
    Bytes out;
    while (n > 0) {
        const int chunk = static_cast<int>(std::min<std::size_t>(n, 16384));
        if (SSL_write(m_ssl, data, chunk) != chunk)
            fail("write");
        data += chunk;
        n -= static_cast<std::size_t>(chunk);
        out += drainOutput();
    }
    return out;
}

std::string TlsSession::protocol() const {
    return SSL_get_version(m_ssl);
}

} // namespace quorix::tds
