#include "tds/TlsProbe.h"

#include "tds/Bytes.h"

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace quorix::tds::testing {

namespace {

class Socket {
public:
    Socket(const std::string &address, std::uint16_t port) : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        if (m_fd < 0 || ::inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1 ||
            ::connect(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0)
            throw std::runtime_error("probe: cannot connect to " + address);
    }
    ~Socket() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;

    // One PRELOGIN message in one packet.
    void send(const Bytes &payload) {
        Bytes packet;
        put8(packet, 0x12);
        put8(packet, 1);
        put16be(packet, static_cast<std::uint32_t>(payload.size() + 8));
        put32(packet, 0);
        packet += payload;
        if (::send(m_fd, packet.data(), packet.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(packet.size()))
            throw std::runtime_error("probe: send failed");
    }
    // The payload of one message, all its packets.
    Bytes receive() {
        Bytes payload;
        for (bool last = false; !last;) {
            const Bytes header = read(8);
            last = (header[1] & 1) != 0;
            const std::size_t length =
                (static_cast<std::size_t>(static_cast<unsigned char>(header[2])) << 8) |
                static_cast<unsigned char>(header[3]);
            if (length < 8)
                throw std::runtime_error("probe: bad packet");
            payload += read(length - 8);
        }
        return payload;
    }

private:
    Bytes read(std::size_t n) {
        Bytes out(n, '\0');
        for (std::size_t got = 0; got < n;) {
            const ssize_t r = ::recv(m_fd, out.data() + got, n - got, 0);
            if (r <= 0)
                throw std::runtime_error("probe: the server closed the connection");
            got += static_cast<std::size_t>(r);
        }
        return out;
    }
    int m_fd;
};

Bytes drain(BIO *b) {
    Bytes out;
    char buf[4096];
    for (int n; (n = BIO_read(b, buf, sizeof buf)) > 0;)
        out.append(buf, static_cast<std::size_t>(n));
    return out;
}

} // namespace

ProbeResult probeCertificate(const std::string &address, std::uint16_t port, bool sendClientHello) {
    Socket s(address, port);
    // VERSION, ENCRYPTION = ENCRYPT_ON, INSTOPT "", THREADID, MARS off.
    s.send(Bytes("\x00\x00\x1A\x00\x06"
                 "\x01\x00\x20\x00\x01"
                 "\x02\x00\x21\x00\x01"
                 "\x03\x00\x22\x00\x04"
                 "\x04\x00\x26\x00\x01"
                 "\xFF"
                 "\x09\x00\x00\x00\x00\x00"
                 "\x01"
                 "\x00"
                 "\x00\x00\x00\x00"
                 "\x00",
                 39));
    const Bytes reply = s.receive();
    ProbeResult result;
    Cursor c(reply);
    for (std::uint8_t token; (token = c.u8()) != 0xFF;) {
        const std::size_t high = c.u8();
        const std::size_t offset = (high << 8) | c.u8();
        c.u16();
        if (token == 1 && offset < reply.size())
            result.answered = static_cast<Encryption>(static_cast<std::uint8_t>(reply[offset]));
    }
    if (!sendClientHello)
        return result;

    std::unique_ptr<SSL_CTX, void (*)(SSL_CTX *)> ctx(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
    std::unique_ptr<SSL, void (*)(SSL *)> ssl(SSL_new(ctx.get()), SSL_free);
    BIO *in = BIO_new(BIO_s_mem());
    BIO *out = BIO_new(BIO_s_mem());
    BIO_set_mem_eof_return(in, -1);
    SSL_set_bio(ssl.get(), in, out);
    SSL_set_connect_state(ssl.get());
    SSL_set_verify(ssl.get(), SSL_VERIFY_NONE, nullptr); // a probe looks; it does not judge
    SSL_do_handshake(ssl.get());
    s.send(drain(out));
    X509 *peer = nullptr;
    while (!peer) {
        const Bytes flight = s.receive();
        BIO_write(in, flight.data(), static_cast<int>(flight.size()));
        SSL_do_handshake(ssl.get());
        peer = SSL_get0_peer_certificate(ssl.get());
    }
    std::unique_ptr<BIO, int (*)(BIO *)> pem(BIO_new(BIO_s_mem()), BIO_free);
    PEM_write_bio_X509(pem.get(), peer);
    result.certificatePem = drain(pem.get());
    return result;
}

} // namespace quorix::tds::testing
