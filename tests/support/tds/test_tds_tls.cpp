// Encrypted connections as the real ODBC driver (FreeTDS 1.3.17 on GnuTLS) makes them to the scripted
// server: what each client setting meets at each server setting, whether the certificate is checked, and
// what travels in clear, seen in a capture of the relayed bytes.

#include "DelayProxy.h"
#include "tds/OdbcClient.h"
#include "tds/ScriptedServer.h"
#include "tds/TestCertificates.h"
#include "tds/Text.h"
#include "tds/TlsProbe.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace quorix::tds;
using namespace quorix::tds::testing;
using quorix::testing::DelayProxy;

namespace {

const std::string kUser = "tls_tester";
const std::string kPassword = "S3cret-pw!";
const std::string kStatement = "SELECT salary FROM dbo.payroll WHERE name = N'Ada'";
const std::string kValue = "confidential-row";

std::string utf16(const std::string &ascii) {
    return utf8ToUtf16(ascii);
}

// The password as LOGIN7 carries it.
std::string scrambled(const std::string &ascii) {
    return scrambledPassword(ascii);
}

bool holds(const std::string &capture, const std::string &bytes) {
    return capture.find(bytes) != std::string::npos;
}

// The certificates of the whole suite, made once, and the folder they are in.
struct Kit {
    std::filesystem::path folder;
    TestCertificates certs;
    TestCertificate wrongName; // signed by the CA, naming only elsewhere.test
    Kit() {
        char pattern[] = "/tmp/quorix-tls-XXXXXX";
        folder = ::mkdtemp(pattern);
        certs = TestCertificates::writeTo(folder.string());
        wrongName = makeCertificate(folder.string(), "wrong-name", {"elsewhere.test", {"elsewhere.test"}, {}},
                                    &certs.ca);
    }
    ~Kit() { std::filesystem::remove_all(folder); }
};

Kit &kit() {
    static Kit k;
    return k;
}

enum class Cert { None, Server, SelfSigned, OtherSelfSigned, WrongName, Ca };

const TestCertificate *certificate(Cert which) {
    switch (which) {
    case Cert::Server:
        return &kit().certs.server;
    case Cert::SelfSigned:
        return &kit().certs.selfSigned;
    case Cert::OtherSelfSigned:
        return &kit().certs.otherSelfSigned;
    case Cert::WrongName:
        return &kit().wrongName;
    case Cert::Ca:
        return &kit().certs.ca;
    default:
        return nullptr;
    }
}

// What the client is told: the connection string's Encryption=, and the freetds.conf section (the only
// place FreeTDS takes `ca file` and `check certificate hostname` from).
struct ClientSide {
    std::string encryption;    // require, request, off
    Cert caFile = Cert::None;  // the section's `ca file`
    bool checkHostname = true; // the section's `check certificate hostname` (FreeTDS's default: yes)
};

class TdsTls : public ::testing::Test {
protected:
    void SetUp() override {
        server.setLogin(kUser, kPassword);
        server.addRule(
            Rule::exact(kStatement, Reply::rows({{makeColumn("salary", "nvarchar(40)")}, {{kValue}}})));
        server.start("127.0.0.2", 0);
        proxy = std::make_unique<DelayProxy>("127.0.0.2", server.port(), std::chrono::microseconds(0));
        proxy->record(true);
    }
    void TearDown() override { ::unsetenv("FREETDSCONF"); }

    void present(Cert which, Encryption mode) {
        if (const TestCertificate *c = certificate(which))
            server.setCertificate(c->certificatePem, c->keyPem);
        server.setEncryption(mode);
    }

    // Writes the section [tls] and connects through the proxy by its name.
    SQLRETURN connect(OdbcClient &client, const ClientSide &side) {
        const std::filesystem::path conf = kit().folder / "freetds.conf";
        std::ofstream out(conf, std::ios::trunc);
        out << "[tls]\n\thost = 127.0.0.2\n\tport = " << proxy->port() << "\n\ttds version = 7.4\n";
        if (const TestCertificate *c = certificate(side.caFile))
            out << "\tca file = " << c->certificateFile << "\n";
        if (!side.checkHostname)
            out << "\tcheck certificate hostname = no\n";
        out.close();
        ::setenv("FREETDSCONF", conf.c_str(), 1);
        return client.connect(
            "DRIVER={FreeTDS};SERVERNAME=tls;UID=" + kUser + ";PWD=" + kPassword +
            ";APP=QUORIX TLS test;WSID=TLSHOST;ClientCharset=UTF-8;Encryption=" + side.encryption);
    }

    // Runs the statement and checks its answer and the server's record of it.
    void runStatement(OdbcClient &client) {
        ASSERT_TRUE(SQL_SUCCEEDED(client.exec(kStatement))) << toString(client.diags());
        const std::vector<TextRow> rows = client.fetchAll();
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0][0], kValue);
        EXPECT_EQ(server.batches(), std::vector<std::string>{kStatement});
    }

    ScriptedServer server;
    std::unique_ptr<DelayProxy> proxy;
};

// What the capture shows, and where TLS covered the connection.
enum class Seen { Nothing, Query, All }; // Query: the statement and its result, not the login
enum class Covered { None, Login, Session };

struct Case {
    const char *name;
    Encryption serverMode;
    Cert presented;
    ClientSide client;
    Encryption offered; // the client's PRELOGIN ENCRYPTION byte
    Encryption answered;
    Covered covered;
    Seen seen;
    const char *refusal; // what the driver says when it does not connect; nullptr: it connects
    const char *ended;   // how the server saw the connection end
};

// FreeTDS says the same whether the server offers no encryption or its certificate fails the check.
const char *const kUnable = "[08001] 0 [FreeTDS][SQL Server]Unable to connect to data source\n"
                            "[01000] 20002 [FreeTDS][SQL Server]Adaptive Server connection failed\n";
const char *const kCutOff = "[08001] 0 [FreeTDS][SQL Server]Unable to connect to data source\n"
                            "[01000] 20017 [FreeTDS][SQL Server]Unexpected EOF from the server\n"
                            "[01000] 20002 [FreeTDS][SQL Server]Adaptive Server connection failed\n";
const char *const kClosed = "closed by the client";
constexpr bool kNoHostCheck = false;
using E = Encryption;

// clang-format off
const Case kCases[] = {
    // Encryption=require: the certificate is checked against `ca file`, and its names against the host.
    {"RequireRefusesAServerWithoutEncryption", E::NotSupported, Cert::None, {"require", Cert::Ca},
     E::On, E::NotSupported, Covered::None, Seen::Nothing, kUnable, kClosed},
    {"RequireWithTheCaConnectsAndHidesEverything", E::On, Cert::Server, {"require", Cert::Ca},
     E::On, E::On, Covered::Session, Seen::Nothing, nullptr, kClosed},
    {"RequireRefusesACertificateTheCaDidNotSign", E::On, Cert::SelfSigned, {"require", Cert::Ca},
     E::On, E::On, Covered::None, Seen::Nothing, kUnable, kClosed},
    {"RequirePinsASelfSignedCertificateGivenAsCaFile", E::On, Cert::SelfSigned,
     {"require", Cert::SelfSigned, kNoHostCheck},
     E::On, E::On, Covered::Session, Seen::Nothing, nullptr, kClosed},
    {"RequirePinsASelfSignedCertificateAndChecksItsNames", E::On, Cert::SelfSigned,
     {"require", Cert::SelfSigned},
     E::On, E::On, Covered::Session, Seen::Nothing, nullptr, kClosed},
    {"RequireChecksTheAddressAgainstTheCertificatesNames", E::On, Cert::WrongName, {"require", Cert::Ca},
     E::On, E::On, Covered::None, Seen::Nothing, kUnable, kClosed},
    {"RequireWithoutHostnameCheckTakesAnyNameTheCaSigned", E::On, Cert::WrongName,
     {"require", Cert::Ca, kNoHostCheck},
     E::On, E::On, Covered::Session, Seen::Nothing, nullptr, kClosed},
    {"RequireWithoutCaFileChecksNothing", E::On, Cert::SelfSigned, {"require"},
     E::On, E::On, Covered::Session, Seen::Nothing, nullptr, kClosed},
    {"RequireAgainstOffEncryptsTheWholeSession", E::Off, Cert::Server, {"require", Cert::Ca},
     E::On, E::On, Covered::Session, Seen::Nothing, nullptr, kClosed},
    // Encryption=request: whatever the server offers; a `ca file` is checked all the same.
    {"RequestAgainstOffEncryptsOnlyTheLogin", E::Off, Cert::Server, {"request"},
     E::Off, E::Off, Covered::Login, Seen::Query, nullptr, kClosed},
    {"RequestAgainstNoEncryptionIsClear", E::NotSupported, Cert::None, {"request"},
     E::Off, E::NotSupported, Covered::None, Seen::All, nullptr, kClosed},
    {"RequestAgainstRequiredEncryptsTheWholeSession", E::Required, Cert::Server, {"request"},
     E::Off, E::Required, Covered::Session, Seen::Nothing, nullptr, kClosed},
    {"RequestWithACaFileStillRefusesABadCertificate", E::On, Cert::SelfSigned, {"request", Cert::Ca},
     E::Off, E::On, Covered::None, Seen::Nothing, kUnable, kClosed},
    // Encryption=off: offers none, but follows a server that insists.
    {"OffAgainstOffIsClear", E::Off, Cert::Server, {"off"},
     E::NotSupported, E::NotSupported, Covered::None, Seen::All, nullptr, kClosed},
    {"OffAgainstOnIsEncryptedAnyway", E::On, Cert::Server, {"off"},
     E::NotSupported, E::On, Covered::Session, Seen::Nothing, nullptr, kClosed},
    {"OffAgainstRequiredIsRefused", E::Required, Cert::Server, {"off"},
     E::NotSupported, E::Required, Covered::None, Seen::Nothing, kCutOff, "encryption refused"},
};
// clang-format on

class TdsTlsCase : public TdsTls, public ::testing::WithParamInterface<Case> {};

TEST_P(TdsTlsCase, ConnectsAsAgreedAndHidesWhatItShould) {
    const Case &c = GetParam();
    const bool connects = c.refusal == nullptr;
    present(c.presented, c.serverMode);
    OdbcClient client;
    const SQLRETURN rc = connect(client, c.client);
    const std::vector<Diag> diags = client.connectionDiags();
    ASSERT_EQ(SQL_SUCCEEDED(rc), connects) << toString(diags);
    if (connects) {
        runStatement(client);
        ASSERT_EQ(server.logins().size(), 1u);
        EXPECT_EQ(server.logins()[0].user, kUser);
        EXPECT_EQ(server.logins()[0].password, kPassword);
        EXPECT_EQ(server.logins()[0].appName, "QUORIX TLS test");
        EXPECT_EQ(server.logins()[0].hostName, "TLSHOST");
    } else {
        EXPECT_EQ(toString(diags), c.refusal);
        EXPECT_TRUE(server.logins().empty());
    }
    client.disconnect();
    ASSERT_EQ(server.openConnectionsSettled(0), 0);
    std::vector<std::string> ends;
    for (const Event &e : server.events())
        if (e.kind == Event::Kind::Disconnect)
            ends.push_back(e.text);
    EXPECT_EQ(ends, std::vector<std::string>{c.ended});

    const std::vector<Prelogin> prelogins = server.prelogins();
    ASSERT_EQ(prelogins.size(), 1u);
    const Prelogin &p = prelogins[0];
    EXPECT_EQ(p.offered, c.offered);
    EXPECT_EQ(p.answered, c.answered);
    EXPECT_EQ(p.tls, c.covered != Covered::None);
    EXPECT_EQ(p.tlsProtocol, c.covered != Covered::None ? "TLSv1.2" : "");
    EXPECT_EQ(p.loginOnly, c.covered == Covered::Login);
    EXPECT_EQ(p.login, connects);

    const std::string up = proxy->recorded(DelayProxy::Way::ToServer);
    const std::string down = proxy->recorded(DelayProxy::Way::ToClient);
    EXPECT_EQ(holds(up, utf16(kUser)), c.seen == Seen::All);
    EXPECT_EQ(holds(up, scrambled(kPassword)), c.seen == Seen::All);
    EXPECT_EQ(holds(up, utf16(kStatement)), c.seen != Seen::Nothing);
    EXPECT_EQ(holds(down, utf16(kValue)), c.seen != Seen::Nothing);
}

INSTANTIATE_TEST_SUITE_P(Settings, TdsTlsCase, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case> &info) { return info.param.name; });

TEST_F(TdsTls, APinnedCertificateThatChangesIsRefused) {
    present(Cert::SelfSigned, Encryption::On);
    const ClientSide pinned{"require", Cert::SelfSigned, false};
    {
        OdbcClient first;
        ASSERT_TRUE(SQL_SUCCEEDED(connect(first, pinned))) << toString(first.connectionDiags());
        runStatement(first);
    }
    present(Cert::OtherSelfSigned, Encryption::On); // while it runs
    OdbcClient second;
    EXPECT_EQ(connect(second, pinned), SQL_ERROR);
    EXPECT_EQ(toString(second.connectionDiags()), kUnable);
    const std::vector<Prelogin> p = server.prelogins();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_TRUE(p[0].login);
    EXPECT_FALSE(p[1].tls);
    EXPECT_FALSE(p[1].login);
    EXPECT_EQ(server.logins().size(), 1u);
}

// Many TLS records each way, TDS packets split across them, and an ATTENTION inside the encrypted stream.
TEST_F(TdsTls, AnEncryptedSessionCarriesLongMessagesAndACancel) {
    present(Cert::Server, Encryption::Required);
    std::string batch = "SELECT '";
    for (int i = 0; batch.size() < 100000; ++i)
        batch += std::to_string(i) + ",";
    batch += "'";
    ResultSet rows{{makeColumn("n", "int"), makeColumn("text", "nvarchar(100)")}, {}};
    for (int i = 0; i < 20000; ++i)
        rows.rows.push_back({std::to_string(i), "row " + std::to_string(i) + " \xC3\xA9"});
    server.addRule(Rule::exact(batch, Reply::rows(rows)));
    server.addRule(Rule::exact("SELECT 1", Reply::rows({{makeColumn("x", "int")}, {{"1"}}})));
    OdbcClient c;
    ASSERT_TRUE(SQL_SUCCEEDED(connect(c, {"require", Cert::Ca}))) << toString(c.connectionDiags());

    ASSERT_TRUE(SQL_SUCCEEDED(c.exec(batch))) << toString(c.diags());
    const std::vector<TextRow> got = c.fetchAll();
    ASSERT_EQ(got.size(), rows.rows.size());
    EXPECT_EQ(got.back(), (TextRow{"19999", "row 19999 \xC3\xA9"}));

    // Closing a result set that is still arriving sends an ATTENTION.
    ASSERT_EQ(c.exec(batch), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(c.stmt())));
    SQLFreeStmt(c.stmt(), SQL_CLOSE);
    ASSERT_EQ(c.exec("SELECT 1"), SQL_SUCCESS) << toString(c.diags());
    EXPECT_EQ(c.fetchAll(), std::vector<TextRow>{{"1"}});
    EXPECT_EQ(server.cancels(), 1);
    EXPECT_EQ(server.batches(), (std::vector<std::string>{batch, batch, "SELECT 1"}));
    EXPECT_FALSE(holds(proxy->recorded(), utf16("row 19999")));
}

TEST_F(TdsTls, EncryptionNeedsACertificateAndABadOneIsRefused) {
    EXPECT_EQ(server.encryption(), Encryption::NotSupported);
    EXPECT_THROW(server.setEncryption(Encryption::On), std::logic_error);
    EXPECT_THROW(server.setCertificate(kit().certs.server.certificatePem, kit().certs.selfSigned.keyPem),
                 std::invalid_argument);
    EXPECT_THROW(server.setCertificate("not a certificate", kit().certs.server.keyPem),
                 std::invalid_argument);
    server.setCertificate(kit().certs.server.certificatePem + kit().certs.ca.certificatePem,
                          kit().certs.server.keyPem);
    server.setEncryption(Encryption::Required);
    EXPECT_EQ(server.encryption(), Encryption::Required);
}

// A probe as the tool makes one: PRELOGIN, the ClientHello, the server's certificate read from its answer,
// and the socket closed with no login. The server lets it go quietly and serves the next client.
TEST_F(TdsTls, AProbeThatHangsUpAfterTheCertificateIsTolerated) {
    present(Cert::Server, Encryption::On);
    const ProbeResult probe = probeCertificate("127.0.0.2", server.port());
    EXPECT_EQ(probe.answered, Encryption::On);
    EXPECT_EQ(probe.certificatePem, kit().certs.server.certificatePem);
    const CertificateFacts facts = certificateFacts(probe.certificatePem);
    EXPECT_EQ(facts.fingerprint, kit().certs.server.fingerprint);
    EXPECT_EQ(facts.subject, "CN=localhost,O=QUORIX Test");
    EXPECT_EQ(facts.issuer, "CN=QUORIX Test CA,O=QUORIX Test");
    ASSERT_EQ(server.openConnectionsSettled(0), 0);

    const ProbeResult bare = probeCertificate("127.0.0.2", server.port(), false); // PRELOGIN only
    EXPECT_EQ(bare.answered, Encryption::On);
    EXPECT_EQ(bare.certificatePem, "");
    ASSERT_EQ(server.openConnectionsSettled(0), 0);

    const std::vector<Prelogin> p = server.prelogins();
    ASSERT_EQ(p.size(), 2u);
    for (const Prelogin &each : p) {
        EXPECT_EQ(each.offered, Encryption::On);
        EXPECT_FALSE(each.tls);
        EXPECT_FALSE(each.login);
    }
    std::vector<std::string> ends;
    for (const Event &e : server.events())
        if (e.kind == Event::Kind::Disconnect)
            ends.push_back(e.text);
    EXPECT_EQ(ends, (std::vector<std::string>{"closed by the client", "closed by the client"}));

    OdbcClient after;
    ASSERT_TRUE(SQL_SUCCEEDED(connect(after, {"require", Cert::Ca}))) << toString(after.connectionDiags());
    runStatement(after);
}

// A client that starts TLS although the server offered none is cut off; the server goes on.
TEST_F(TdsTls, AHelloToAServerWithoutEncryptionEndsThatConnectionOnly) {
    EXPECT_THROW(probeCertificate("127.0.0.2", server.port()), std::runtime_error);
    ASSERT_EQ(server.openConnectionsSettled(0), 0);
    ASSERT_EQ(server.events().size(), 1u);
    EXPECT_EQ(server.events()[0].text, "protocol error: a second PRELOGIN");
    OdbcClient after;
    ASSERT_TRUE(SQL_SUCCEEDED(connect(after, {"request"}))) << toString(after.connectionDiags());
    runStatement(after);
}

} // namespace
