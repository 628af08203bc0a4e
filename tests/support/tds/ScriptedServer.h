#pragma once
// A scripted TDS 7.4 server that stands in for SQL Server in tests. The real ODBC driver (FreeTDS through
// unixODBC) connects to it over loopback; the server answers every batch or RPC by the first rule that
// matches its text and records every login, batch, RPC and cancel exactly as received.
//
// Typical use:
//
//     quorix::tds::ScriptedServer server;
//     server.setLogin("sa", "pw");
//     server.start("127.0.0.2", 0);                       // port 0: any free port, see port()
//     ResultSet names{{makeColumn("name", "nvarchar(128)")}, {{"master"}, {"Billing"}}};
//     server.addRule(Rule::exact("SELECT name FROM sys.databases", Reply::rows(names)));
//     server.addRule(Rule::pattern("DROP DATABASE .*", Reply::error(3701, "Cannot drop ...")));
//     ... connect with "DRIVER={FreeTDS};SERVER=127.0.0.2;PORT=<port>;UID=sa;PWD=pw;TDS_Version=7.4" ...
//     EXPECT_EQ(server.batches(), (std::vector<std::string>{"SELECT name FROM sys.databases"}));
//
// Values, both in result sets given to the server and in recorded RPC parameters, are text:
//   integers and bit      "42", "-7", "1"
//   float / real          shortest text that reads back to the same value ("1.5", "0.1", "1e+300")
//   decimal / numeric     "-123.45", recorded with exactly `scale` digits after the point
//   money                 "12.3400" (recorded with 4 decimals)
//   datetime              "2024-01-31 13:45:00.123"
//   date                  "2024-01-31"
//   time                  "13:45:00.1234567" (as many fraction digits as the scale; none for scale 0)
//   datetime2             "2024-01-31 13:45:00.1234567"
//   datetimeoffset        "2021-03-04 05:06:07.1234567 +05:45" (local date and time, then the offset)
//   char/varchar/nvarchar UTF-8 text (varchar travels in code page 1252; unmappable characters become '?')
//   varbinary             "0x" followed by upper-case hex digits ("0x0A1B")
//   uniqueidentifier      "6F9619FF-8B86-D011-B42D-00C04FC964FF" (upper case)
// A NULL is std::nullopt. Input is forgiving where it costs nothing (fewer fraction digits, "true"/"false").
//
// Thread safety: every public member may be called from any thread while the server runs. Callback rules
// are called on connection threads, one call at a time (the server serialises them), so a callback may
// keep plain shared state such as a list of databases. State a callback captures must outlive the server
// (or call stop() before it goes).

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace quorix::tds {

enum class SqlType {
    Int,
    BigInt,
    SmallInt,
    TinyInt,
    Bit,
    Float,
    Real,
    Decimal,
    Numeric,
    Money,
    DateTime,
    Date,
    Time,
    DateTime2,
    Char,
    VarChar,
    NChar,
    NVarChar,
    Binary,
    VarBinary,
    VarCharMax,
    NVarCharMax,
    VarBinaryMax,
    UniqueIdentifier,
    DateTimeOffset,
};

// "int", "nvarchar(max)", ... (for messages and the record file).
std::string typeName(SqlType type);

using Value = std::optional<std::string>;
using Row = std::vector<Value>;

struct Column {
    std::string name;
    SqlType type = SqlType::NVarChar;
    // Characters for char/varchar/nchar/nvarchar, bytes for binary/varbinary; 0 = default
    // (varchar 8000, nvarchar 4000, varbinary 8000, char/nchar/binary: the longest value, at least 1).
    int length = 0;
    int precision = 18; // decimal/numeric
    int scale = -1;     // decimal/numeric digits after the point (default 0); time/datetime2/datetimeoffset
                        // fraction digits (default 7)
    bool nullable = true;
    bool identity = false;
    bool computed = false;   // table model: the server fills it (NULL here); nobody writes it
    bool rowversion = false; // table model: binary(8) the server sets on every insert and update
    bool key = false;        // table model: one of the columns of the table's primary key
};

// A column from its SQL type as written in T-SQL: "int", "decimal(10,2)", "nvarchar(128)", "varchar(max)",
// "datetime2(3)", "rowversion", ... Throws std::invalid_argument for an unknown type.
Column makeColumn(std::string name, const std::string &sqlType, bool nullable = true);

struct ResultSet {
    std::vector<Column> columns;
    std::vector<Row> rows;
};

// An ERROR (severity 11 and above) or an INFO message (severity 10 and below).
struct Message {
    int number = 50000;
    int severity = 16; // the TDS "class"
    int state = 1;
    std::string text;
    std::string procedure;
    int line = 1;
};

// A statement that returns no rows but reports a count ("(5 rows affected)").
struct RowCount {
    std::uint64_t count = 0;
};

using ReplyItem = std::variant<Message, ResultSet, RowCount>;

// What the server sends back for one batch or RPC, in order. Statement boundaries follow SQL Server:
// a result set or a row count ends a statement; an error ends a statement unless another message follows
// it directly (as 3013 follows 3201); informational messages ride with the next statement. An empty
// reply is a plain DONE, which FreeTDS's SQLExecDirect reports as SQL_NO_DATA (as for DDL on a real
// server).
struct Reply {
    std::vector<ReplyItem> items;
    std::chrono::milliseconds delay{0}; // held back this long; an ATTENTION during the wait ends it at once
    bool dropConnection = false;        // after the delay, close the socket without answering
    std::optional<std::string> useDatabase; // after the items: switch database (ENVCHANGE + INFO 5701)
    int returnStatus = 0;                   // RPC only: the procedure's RETURN value
    std::vector<Value> outputs;             // RPC only: values for the output parameters, in order

    static Reply done() { return {}; }
    static Reply rows(ResultSet set);
    static Reply error(int number, std::string text, int severity = 16, int state = 1);
    static Reply info(std::string text, int number = 0, int state = 1); // severity 0, as PRINT sends
    static Reply count(std::uint64_t rows);
    static Reply drop();

    Reply &then(ReplyItem item); // append another item
    Reply &after(std::chrono::milliseconds wait);
};

// A parameter of a recorded RPC.
struct Param {
    std::string name; // "@x" when the client named it; FreeTDS sends values unnamed ("")
    SqlType type = SqlType::Int;
    Value value;
    bool output = false;
    int length = 0; // declared maximum (characters or bytes); 0 for max types and fixed types
    int precision = 0;
    int scale = 0;
};

// The current state of one connection, given to callback rules.
struct ConnectionState {
    int connection = 0; // 1, 2, ... in order of connection to this server
    std::string user;
    std::string database;
    std::string appName;
    std::string hostName;        // the client's workstation name, as it sent it at login
    std::uint32_t clientPid = 0; // the client's process id, as it sent it at login
    bool rpc = false;
    std::string procedure;     // RPC only: "sp_executesql", "sp_execute", "my_proc", ...
    std::vector<Param> params; // RPC only: the parameter values of the call being answered
};

// Returning std::nullopt passes the request on to the next rule.
using ReplyFunction =
    std::function<std::optional<Reply>(const std::string &text, const ConnectionState &state)>;

// Rules are tried in the order added; the first that matches answers. A rule matches the text of a
// batch, the statement of sp_executesql/sp_prepexec/sp_execute (sp_execute: the statement prepared under
// that handle), or the name of any other procedure called by RPC.
// sp_prepare is answered with the column metadata of the first result set of the first static rule that
// matches (callback rules are not called for it), so SQLDescribeCol works before SQLExecute.
// Without a matching rule: the table model answers what it knows (see TableModel.h); `USE <db>` switches
// database (refused with error 911 when setDatabases() was given and the name is not in it); anything
// else gets a plain DONE.
struct Rule {
    enum class Match { Exact, Pattern, Any };
    Match match = Match::Exact;
    std::string text;        // exact text, or an ECMAScript regular expression matched against the whole text
    bool ignoreCase = false; // patterns only
    Reply reply;
    ReplyFunction compute; // when set, replaces `reply`

    static Rule exact(std::string text, Reply reply);
    static Rule pattern(std::string regex, Reply reply, bool ignoreCase = false);
    // An empty regex matches every text (without running a regular expression over long batches).
    static Rule callback(ReplyFunction compute, std::string regex = {}, bool ignoreCase = false);
};

struct Event {
    enum class Kind {
        Login,       // user, database, password, appName, hostName, clientPid, accepted
        Batch,       // text
        Rpc,         // procedure, text, declarations, handle, params
        Transaction, // text: "BEGIN", "COMMIT", "ROLLBACK", or "COMMIT, BEGIN" / "ROLLBACK, BEGIN"
        Cancel,      // an ATTENTION from the client
        Disconnect,  // text: "closed by the client", "dropped by the server" (dropConnections), "dropped by
                     // a rule", "login refused", "encryption refused" (Encryption::Required, a client
                     // without it), "server stopped" or "protocol error: ..." (a failed TLS handshake too)
        BulkLoad,    // a bulk-load message: text is the table INSERT BULK named, rows the rows it carried
    };
    Kind kind = Kind::Batch;
    int connection = 0;
    std::string text; // batch text; RPC statement (or procedure name); transaction request

    std::string user, database, password, appName; // Login
    std::string hostName;                          // Login: the client's workstation name
    std::uint32_t clientPid = 0;                   // Login: the client's process id
    bool accepted = false;                         // Login
    int packetSize = 0;                            // Login: the packet size the client asked for
    std::size_t rows = 0;                          // BulkLoad

    std::string procedure;     // Rpc: sp_executesql, sp_prepexec, sp_prepare, sp_execute, sp_unprepare, ...
    std::string declarations;  // Rpc: the @params text ("@P1 INT,@P2 NVARCHAR(6)"), if any
    int handle = -1;           // Rpc: prepared handle for sp_prepexec/sp_prepare/sp_execute/sp_unprepare
    std::vector<Param> params; // Rpc: the values; for the sp_* procedures above only the statement's values
};

std::string kindName(Event::Kind kind); // "login", "batch", ...
// One line describing an event, escaped (\n, \t, \\), as the standalone server writes its record file.
std::string describe(const Event &event);

// TLS as the server offers it in its PRELOGIN answer; the same values are the ENCRYPTION byte itself, as a
// client offers it and the server answers.
enum class Encryption : std::uint8_t {
    // ENCRYPT_OFF: only the client's LOGIN7 travels in TLS, the rest in clear; a client that asks for
    // ENCRYPT_ON gets the whole session in TLS, one that offers none gets none.
    Off = 0,
    // ENCRYPT_ON: the whole session in TLS after the handshake, whatever the client offered.
    On = 1,
    // ENCRYPT_NOT_SUP: no TLS (the default).
    NotSupported = 2,
    // ENCRYPT_REQ: the whole session; a client that offers ENCRYPT_NOT_SUP (or nothing) is answered and then
    // disconnected ("encryption refused") before any handshake.
    Required = 3,
};
std::string encryptionName(Encryption value); // "ENCRYPT_OFF", "ENCRYPT_ON", ... ("0x80" when unknown)

// One connection's PRELOGIN and what came of it, kept for every connection that sent one (or went straight
// to LOGIN7).
struct Prelogin {
    int connection = 0;
    std::optional<Encryption> offered; // the client's ENCRYPTION byte; nullopt when it sent none
    Encryption answered = Encryption::NotSupported;
    bool tls = false;        // the TLS handshake completed
    std::string tlsProtocol; // "TLSv1.2" once it did
    bool loginOnly = false;  // only the LOGIN7 went through TLS (the answer was ENCRYPT_OFF)
    bool login = false;      // a LOGIN7 arrived; false when the client gave up before logging in
};

class TableModel;

class ScriptedServer {
public:
    ScriptedServer();
    ~ScriptedServer(); // stops
    ScriptedServer(const ScriptedServer &) = delete;
    ScriptedServer &operator=(const ScriptedServer &) = delete;

    // Listens on address:port (port 0 picks a free one) with SO_REUSEADDR. Throws std::system_error.
    void start(const std::string &address = "127.0.0.1", std::uint16_t port = 0);
    // Closes the listener and every connection, and waits for their threads. The record stays.
    void stop();
    bool running() const;
    std::uint16_t port() const;
    std::string address() const;

    // Logins: without setLogin/setPassword every non-empty user and password is accepted (a user name that
    // is empty or holds a backslash is always refused: FreeTDS would try integrated security).
    void setLogin(const std::string &user, const std::string &password);
    void setPassword(const std::string &password); // any user
    // The database a login without DATABASE= lands in ("master").
    void setDefaultDatabase(const std::string &name);
    // The databases that exist (case-insensitive). When set, `USE` of another name gets error 911 and a
    // login naming another database gets 4060 + 18456. May be changed at any time (also from a callback).
    void setDatabases(const std::vector<std::string> &names);
    void clearDatabases(); // any name goes again
    std::vector<std::string> databases() const;

    // TLS. The certificate chain (the server's certificate first, then any intermediates) and its key, as
    // PEM; throws std::invalid_argument when they do not load. Encryption other than NotSupported needs a
    // certificate first (else std::logic_error). Both may change at any time: a connection takes what is
    // current when its PRELOGIN arrives, so a new certificate shows on the next connection.
    void setCertificate(const std::string &chainPem, const std::string &keyPem);
    void setEncryption(Encryption mode);
    Encryption encryption() const;

    void addRule(Rule rule); // throws std::regex_error for a bad pattern
    // Before every rule added so far: a rule that holds a request, or answers it before a fixture's rules.
    void addFirstRule(Rule rule);
    void setRules(std::vector<Rule> rules);
    void clearRules();

    // Closes every open connection from the server side ("the server restarted"). Keeps listening.
    void dropConnections();
    int openConnections() const;
    // A client's close reaches the server a moment later: waits up to `limit` for at most `n` to remain.
    int openConnectionsSettled(int n, std::chrono::milliseconds limit = std::chrono::seconds(5)) const;

    // The record (kept across stop(); cleared only by clearRecord()).
    std::vector<Event> events() const;
    std::vector<Event> events(int connection) const;
    std::vector<std::string> batches() const; // SQL batch texts, in arrival order across connections
    std::vector<std::string> batches(int connection) const;
    std::vector<Event> rpcs() const;
    std::vector<std::string> statements() const; // batch texts and RPC texts together, in arrival order
    std::vector<Event> logins() const;
    std::vector<Event> bulkLoads() const;
    std::vector<Prelogin> prelogins() const; // in order of connection
    std::optional<Prelogin> prelogin(int connection) const;
    int cancels() const;
    // Requests since the last clearRecord(), over every connection: SQL batches, RPC messages (however many
    // calls one holds), transaction requests and bulk-load messages, each a round trip the client waited
    // for. Logins are not counted.
    std::size_t roundTrips() const;
    void clearRecord();
    // Waits until the record holds at least n SQL batches / n batches-or-RPCs. False on timeout.
    bool waitForBatches(std::size_t n, std::chrono::milliseconds timeout) const;
    bool waitForStatements(std::size_t n, std::chrono::milliseconds timeout) const;

    // Named tables with typed columns and rows that answer the statements rules leave alone (see
    // TableModel.h).
    TableModel &tables();
    const TableModel &tables() const;

    // Called (on the connection's thread) for every event as it is recorded.
    void setEventListener(std::function<void(const Event &)> listener);

    struct Impl;

private:
    void insertRule(Rule rule, bool first);
    std::unique_ptr<Impl> m_impl;
};

} // namespace quorix::tds
