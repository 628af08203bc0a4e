#pragma once
// One client connection of the scripted server: login, then requests answered until either side closes.

#include "tds/ServerImpl.h"
#include "tds/Wire.h"

#include <map>

namespace quorix::tds {

class Connection {
public:
    Connection(ScriptedServer::Impl &server, int fd, int id);
    void run(); // the connection thread's body; returns when the connection has ended
    void drop() { m_channel.shutdown(); }
    bool finished() const { return m_finished; }
    int id() const { return m_state.connection; }

private:
    struct CallParam {
        Param param;
        TypeDesc type;
    };
    struct Prepared {
        std::string statement;
        std::string declarations;
    };
    enum class Outcome { Done, Cancelled };

    // Answers PRELOGIN and, when encryption was agreed, carries out the TLS handshake. False when the
    // client must be refused (it offers no encryption, the server requires it).
    bool prelogin(const Bytes &payload);
    void handshake(std::shared_ptr<const TlsContext> certificate, bool loginOnly);
    bool login(const Bytes &payload);
    void batch(const Bytes &payload);
    void rpc(const Bytes &payload);
    void transaction(const Bytes &payload);
    void bulkLoad(const Bytes &payload); // ConnectionBulk.cpp
    void attention();

    // Parses one RPC call (name and parameters) from c; false when the message has ended.
    bool readCall(Cursor &c, std::string &procedure, std::vector<CallParam> &params);
    // Answers one call inside an RPC message (everything up to, not including, DONEPROC).
    Outcome call(const std::string &procedure, std::vector<CallParam> &params, bool &error);
    Reply resolve(const std::string &text);
    // Sends the reply's statements into the current message. inProc: DONEINPROC instead of DONE, and no
    // final DONE (a DONEPROC follows).
    Outcome emit(const Reply &reply, bool inProc, bool &error);
    bool emitResultSet(const ResultSet &set, std::uint8_t doneToken, std::uint16_t moreBit);
    void cancelled(); // appends DONE(ATTN) and records the cancel

    void recordEvent(Event event);

    ScriptedServer::Impl &m_server;
    Channel m_channel;
    ConnectionState m_state;
    Prelogin m_prelogin;
    bool m_preloginDone = false;
    std::map<int, Prepared> m_prepared;
    int m_nextHandle = 1;
    Bytes m_transaction = Bytes(8, '\0');
    std::uint64_t m_transactionCounter = 0;
    std::string m_serverName = "SQLTEST";
    std::optional<BulkTarget> m_bulk; // named by INSERT BULK, for the next bulk-load message
    std::atomic<bool> m_finished{false};
};

} // namespace quorix::tds
