#pragma once
// The server side of TLS for the scripted server, on OpenSSL with memory BIOs: the connection moves the
// bytes itself, because during the handshake they travel inside TDS PRELOGIN packets and only afterwards
// straight on the TCP stream.

#include "tds/Bytes.h"

#include <memory>
#include <string>

using SSL_CTX = struct ssl_ctx_st;
using SSL = struct ssl_st;
using BIO = struct bio_st;

namespace quorix::tds {

// ": " and the oldest queued OpenSSL error as text, or "" when none is queued; the queue is emptied.
std::string openSslError();

// A certificate and key that would not load, or a handshake or record that failed.
struct TlsError : ProtocolError {
    using ProtocolError::ProtocolError;
};

// What the server presents: its certificate chain (the server's certificate first) and key, as PEM.
// Shared by the connections that begin while it is current; replacing it affects only later ones.
class TlsContext {
public:
    // Throws TlsError when the PEM text does not parse or the key does not fit the certificate.
    TlsContext(const std::string &chainPem, const std::string &keyPem);
    ~TlsContext();
    TlsContext(const TlsContext &) = delete;
    TlsContext &operator=(const TlsContext &) = delete;
    SSL_CTX *handle() const { return m_ctx; }

private:
    SSL_CTX *m_ctx = nullptr;
};

// One connection's TLS session.
class TlsSession {
public:
    explicit TlsSession(std::shared_ptr<const TlsContext> context);
    ~TlsSession();
    TlsSession(const TlsSession &) = delete;
    TlsSession &operator=(const TlsSession &) = delete;

    // Feeds handshake bytes from the client; appends what must go back to `reply`. True once the
    // handshake has completed. Throws TlsError.
    bool handshake(const Bytes &fromClient, Bytes &reply);

    // Takes ciphertext from the stream. Only whole records are decrypted, one at a time, so that a
    // caller can stop after the record that ended what it wanted (see decryptRecord); the rest stays.
    void receive(const char *data, std::size_t n) { m_cipher.append(data, n); }
    // Decrypts the next whole buffered record onto `plain`; false when no whole record is buffered.
    // Throws ConnectionClosed at the client's close_notify, TlsError on a bad record.
    bool decryptRecord(Bytes &plain);
    // Ciphertext received but not decrypted, handed back when TLS ends after the login.
    Bytes takeUndecrypted();

    Bytes encrypt(const char *data, std::size_t n);

    std::string protocol() const; // "TLSv1.2"

private:
    Bytes drainOutput();

    std::shared_ptr<const TlsContext> m_context;
    SSL *m_ssl = nullptr;
    BIO *m_in = nullptr;  // owned by m_ssl
    BIO *m_out = nullptr; // owned by m_ssl
    Bytes m_cipher;
};

} // namespace quorix::tds
