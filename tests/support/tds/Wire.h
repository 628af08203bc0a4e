#pragma once
// Packets on a socket, and the response tokens this server sends.

#include "tds/Bytes.h"
#include "tds/Codec.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace quorix::tds {

class TlsSession;

enum PacketType : std::uint8_t {
    kSqlBatch = 0x01,
    kRpc = 0x03,
    kReply = 0x04,
    kAttention = 0x06,
    kBulkLoad = 0x07,
    kTransaction = 0x0E,
    kLogin7 = 0x10,
    kPrelogin = 0x12,
};

enum DoneStatus : std::uint16_t {
    kDoneMore = 0x01,
    kDoneError = 0x02,
    kDoneInXact = 0x04,
    kDoneCount = 0x10,
    kDoneAttn = 0x20,
};

// The client went away, or the server dropped it.
struct ConnectionClosed : std::runtime_error {
    ConnectionClosed() : std::runtime_error("connection closed") {}
};

// One client socket: reassembles messages from packets, splits replies into packets, and notices an
// ATTENTION that arrives while a reply is held back or being sent.
class Channel {
public:
    Channel(int fd, std::uint16_t spid);
    ~Channel();
    Channel(const Channel &) = delete;
    Channel &operator=(const Channel &) = delete;

    // Blocks for the next whole message. Throws ConnectionClosed.
    void readMessage(std::uint8_t &type, Bytes &payload);
    // True when an ATTENTION arrived within `timeoutMs` (0 = just look); it is consumed. Other packets
    // that arrive meanwhile wait for readMessage.
    bool waitForAttention(int timeoutMs);

    void setPacketSize(int size) { m_packetSize = size; }
    int packetSize() const { return m_packetSize; }

    // Sends one message made of the given bytes: a reply of tokens, or TLS handshake bytes in PRELOGIN
    // packets.
    void sendMessage(const Bytes &payload, std::uint8_t type = kReply);

    // From here on the stream is TLS: what arrives is decrypted, what is sent encrypted. loginOnly: the
    // client encrypts only its next packet (the LOGIN7) and then goes on in clear, and so does the server,
    // which sends nothing encrypted meanwhile.
    void startTls(std::unique_ptr<TlsSession> session, bool loginOnly);
    bool tlsActive() const { return m_tls != nullptr; }
    // Streaming: append tokens; whole packets go out as they fill, each followed by a look for ATTENTION.
    void begin() { m_out.clear(); }
    void append(const Bytes &tokens);
    void finish(); // sends the rest with EOM
    bool attentionSeen() const { return m_attention; }
    void clearAttention() { m_attention = false; }

    // From another thread: wake and end the connection (blocked reads and writes fail).
    void shutdown();
    bool wasShutDown() const { return m_shutDown; }
    void close();

private:
    bool fill(int timeoutMs); // false on timeout
    bool havePacket(std::size_t &length) const;
    void sendPacket(const char *data, std::size_t n, bool last, std::uint8_t type = kReply);
    void received(const char *data, std::size_t n); // raw bytes from the socket, decrypted when need be
    void writeAll(const char *data, std::size_t n);
    bool scanForAttention();

    std::mutex m_fdMutex;
    int m_fd;
    std::uint16_t m_spid;
    std::uint8_t m_packetId = 1;
    int m_packetSize = 4096;
    Bytes m_in; // received, not yet consumed
    std::size_t m_inPos = 0;
    Bytes m_out;    // tokens of the current reply not yet sent
    Bytes m_packet; // scratch for one packet
    bool m_attention = false;
    std::atomic<bool> m_shutDown{false};
    std::unique_ptr<TlsSession> m_tls;
    bool m_tlsLoginOnly = false;
    std::size_t m_tlsStart = 0; // where the first decrypted byte went in m_in (loginOnly)
};

// Response tokens.
void putDone(Bytes &b, std::uint8_t token, std::uint16_t status, std::uint64_t count,
             std::uint16_t curCmd = 0);
void putMessage(Bytes &b, const Message &m, const std::string &server);
void putEnvChange(Bytes &b, std::uint8_t type, const std::string &newValue, const std::string &oldValue);
void putEnvChangeBytes(Bytes &b, std::uint8_t type, const Bytes &newValue, const Bytes &oldValue);
void putLoginAck(Bytes &b);
void putColMetadata(Bytes &b, const std::vector<Column> &columns, const std::vector<TypeDesc> &types);
void putReturnStatus(Bytes &b, std::int32_t status);
void putReturnValue(Bytes &b, std::uint16_t ordinal, const std::string &name, const TypeDesc &type,
                    const Value &value);

constexpr std::uint8_t kTokenDone = 0xFD;
constexpr std::uint8_t kTokenDoneProc = 0xFE;
constexpr std::uint8_t kTokenDoneInProc = 0xFF;

} // namespace quorix::tds
