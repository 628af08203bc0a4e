// How the window's sessions are protected, through the real FreeTDS driver against the scripted server
// speaking TLS: Mandatory refuses a server without encryption before any login, shows a certificate it
// cannot verify and trusts it once by its fingerprint, refuses it again when it changes; a whole Backup
// under Mandatory carries neither the password nor the statements in clear; Optional says when a session
// is not encrypted; the login box and Windows authentication reach the server as they should.

#include "proxy/DelayProxy.h"
#include "tds/TestCertificates.h"
#include "tds/Text.h"
#include "window/WindowKit.h"

#include "core/db/ServerSessions.h"
#include "core/db/secure/CertificateTrust.h"
#include "core/db/secure/SecureOpen.h"
#include "gui/app/frmMain.h"
#include "gui/ui/Prompt.h"

#include <QDir>
#include <QLineEdit>
#include <QSysInfo>

using namespace quorix;
using namespace quorix::testing;

namespace {

// A text as it travels in LOGIN7 and SQL batches: UTF-16LE.
std::string utf16(const std::string &ascii) {
    return tds::utf8ToUtf16(ascii);
}

class SecureSessions : public WindowTest {
protected:
    void SetUp() override { startMain(); }
    QString box() const { return serverBox(*main); }
    QString lastMessage() const { return Prompt::shown().isEmpty() ? QString() : Prompt::shown().last(); }
    void connect() {
        Prompt::clearShown();
        click("cmdConnect(0)");
    }
    bool connected() { return w.window().sessions().connected(0); }
    const tds::testing::TestCertificates &certs() const { return testCertificates(); }
};

TEST_F(SecureSessions, MandatoryRefusesAServerWithoutEncryptionBeforeAnyLogin) {
    main->setEncryption(tds::Encryption::NotSupported);
    w.start();
    connect();
    EXPECT_FALSE(connected());
    EXPECT_TRUE(lastMessage().startsWith(box() +
                                         " offers no encryption, and its encryption is \"Mandatory\": "
                                         "the connection was refused before the login was sent."))
        << lastMessage().toStdString();
    EXPECT_TRUE(main->logins().empty());
    ASSERT_FALSE(main->prelogins().empty());
    for (const tds::Prelogin &p : main->prelogins())
        EXPECT_FALSE(p.login) << "connection " << p.connection;
}

TEST_F(SecureSessions, AnUnverifiedCertificateIsShownTrustedOnceByItsFingerprintAndRefusedWhenItChanges) {
    const auto &self = certs().selfSigned;
    main->setCertificate(self.certificatePem, self.keyPem);
    w.start();
    connect();
    EXPECT_FALSE(connected());
    const QString fingerprint = QString::fromStdString(self.fingerprint);
    for (const QString &part : {"The certificate of " + box() + " was refused: it is self-signed",
                                "\nSHA-256: " + fingerprint, "--trust-certificate 0=" + fingerprint})
        EXPECT_TRUE(lastMessage().contains(part)) << part.toStdString() << "\n"
                                                  << lastMessage().toStdString();

    // Given its fingerprint (as --trust-certificate does), the same certificate is kept and the session
    // opens.
    w.window().acceptFingerprint(0, fingerprint);
    connect();
    EXPECT_TRUE(connected()) << lastMessage().toStdString();
    EXPECT_EQ(logged().last(), "Connected.");
    const QString kept = CertificateTrust().trustedFile(box());
    ASSERT_FALSE(kept.isEmpty());
    EXPECT_EQ(QFile(kept).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());

    // At the next start the kept certificate is accepted with no question.
    w.restart();
    connect();
    EXPECT_TRUE(connected());
    EXPECT_TRUE(Prompt::shown().isEmpty()) << lastMessage().toStdString();

    // Another certificate is refused again, and the message says that it changed.
    const auto &other = certs().otherSelfSigned;
    main->setCertificate(other.certificatePem, other.keyPem);
    connect();
    EXPECT_FALSE(connected());
    EXPECT_TRUE(lastMessage().contains("it is not the certificate trusted for this server (SHA-256 " +
                                       fingerprint + "): the server's certificate changed"))
        << lastMessage().toStdString();
    EXPECT_TRUE(lastMessage().contains("SHA-256: " + QString::fromStdString(other.fingerprint)));
}

TEST_F(SecureSessions, ABackupUnderMandatoryCarriesNeitherThePasswordNorAStatementInClear) {
    DelayProxy lan("127.0.0.2", main->port(), std::chrono::microseconds(0));
    lan.record(true);
    w.preset("MIR", "txtServer0", "127.0.0.2," + QString::number(lan.port()));
    w.start();
    f().txtDB->setText("Billing");
    click("cmdBackup(0)");
    const std::vector<std::string> backups = {
        "BACKUP DATABASE Billing TO DISK = 'p:\\backup\\MIR\\Billing.BAK'   WITH FORMAT",
        "BACKUP Log  Billing TO DISK = 'p:\\backup\\MIR\\Billing_log.BAK'   WITH FORMAT"};
    EXPECT_EQ(sent(0, false), backups);
    const std::string wire = lan.recorded();
    ASSERT_GT(wire.size(), 1000u);
    // The password as a login sent in clear would carry it (scrambled), and as plain UTF-16.
    for (const std::string &secret :
         {tds::scrambledPassword("pwMain"), utf16("pwMain"), utf16("BACKUP DATABASE"), utf16("BACKUP Log"),
          utf16("sys.databases"), std::string("BACKUP")})
        EXPECT_EQ(wire.find(secret), std::string::npos) << "in clear: " << secret;
}

TEST_F(SecureSessions, OptionalReachesAServerWithoutEncryptionAndSaysSoOncePerConnection) {
    main->setEncryption(tds::Encryption::NotSupported);
    w.preset("MIR", "cboEncryption0", "Optional");
    w.start();
    connect();
    EXPECT_TRUE(connected());
    const QStringList lines = logged();
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines.mid(lines.size() - 2),
              QStringList({"Connected.",
                           "The session with " + box() + " is not encrypted (Encryption \"Optional\")."}));
}

TEST_F(SecureSessions, TheLoginBoxAndTheNamesReachTheServer) {
    main->setLogin("dba_anna", "pwMain");
    w.preset("MIR", "txtLogin0", "dba_anna");
    w.start();
    connect();
    ASSERT_TRUE(connected()) << lastMessage().toStdString();
    const tds::Event login = main->logins().back();
    EXPECT_EQ(login.user, "dba_anna");
    EXPECT_EQ(login.appName, "QUORIX DB Tools");
    EXPECT_EQ(QString::fromStdString(login.hostName), QSysInfo::machineHostName());
    EXPECT_EQ(w.stored("MIR", "txtLogin0"), "dba_anna");
}

TEST_F(SecureSessions, WindowsAuthenticationSendsNoLoginNameAndNoPassword) {
    w.preset("MIR", "chkWindowsAuth0", "1");
    w.start();
    connect();
    // No Kerberos realm runs here: the driver finds no ticket and the connection fails with its message.
    EXPECT_FALSE(connected());
    EXPECT_FALSE(lastMessage().isEmpty());
    // What reached the server: the PRELOGIN asking for encryption and the TLS handshake, then nothing. No
    // LOGIN7 at all, so neither a login name nor a password (the driver's GSSAPI token would come in one).
    EXPECT_TRUE(main->logins().empty());
    const std::vector<tds::Prelogin> prelogins = main->prelogins();
    ASSERT_FALSE(prelogins.empty());
    EXPECT_EQ(prelogins.front().offered, tds::Encryption::On);
    EXPECT_TRUE(prelogins.front().tls);
    for (const tds::Prelogin &p : prelogins)
        EXPECT_FALSE(p.login) << "connection " << p.connection;
}

// An empty (or blank) Login box without Windows authentication is refused before anything is sent: the
// driver would otherwise try its integrated login unasked.
TEST_F(SecureSessions, AnEmptyLoginBoxIsRefusedBeforeAnythingIsSent) {
    w.start();
    for (const QString &login : {QString(""), QString("   ")}) {
        f().txtLogin[0]->setText(login);
        main->clearRecord();
        connect();
        EXPECT_FALSE(connected());
        EXPECT_EQ(lastMessage(), "No login is given for " + box() +
                                     ": type one into its Login box, or tick \"Windows authentication\" for "
                                     "it. Nothing was sent to the server.");
        EXPECT_TRUE(main->prelogins().empty());
        EXPECT_TRUE(main->logins().empty());
    }
}

// A driver that checks certificates only against the machine's store (Microsoft's) is never offered the
// refused certificate for trust, even when its fingerprint was given: the message says where to install it,
// and nothing is kept that would then block the server for that driver.
TEST_F(SecureSessions, ACertificateIsOfferedForTrustOnlyToADriverThatCanHoldToIt) {
    const auto &self = certs().selfSigned;
    main->setCertificate(self.certificatePem, self.keyPem);
    w.start();
    const QString fingerprint = QString::fromStdString(self.fingerprint);
    w.window().acceptFingerprint(0, fingerprint);
    // These drivers take no authority file (they would refuse the tests' own one first).
    struct NoAuthorityFile {
        QByteArray file = qgetenv("QUORIX_CA_FILE");
        NoAuthorityFile() { qunsetenv("QUORIX_CA_FILE"); }
        ~NoAuthorityFile() { qputenv("QUORIX_CA_FILE", file); }
    } noAuthorityFile;
    for (const char *driver : {"ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server"}) {
        // The driver need not be installed: its failure is followed by the same look at the certificate.
        qputenv("QUORIX_ODBC_DRIVER", driver);
        connect();
        qunsetenv("QUORIX_ODBC_DRIVER");
        EXPECT_FALSE(connected());
        const QString message = lastMessage();
        for (const QString &part :
             {"The certificate of " + box() + " was refused: it is self-signed", "\nSHA-256: " + fingerprint,
              "\nThe driver \"" + QString(driver) +
                  "\" cannot be told to accept this one certificate, so "
                  "nothing was kept for " +
                  box() +
                  ": install the server's certificate (or the authority that issued it) into the system's "
                  "trust store of this machine, then connect again."})
            EXPECT_TRUE(message.contains(part)) << part.toStdString() << "\n" << message.toStdString();
        EXPECT_FALSE(message.contains("--trust-certificate")) << message.toStdString();
        EXPECT_EQ(Prompt::shown().size(), 1) << Prompt::shown().join("\n---\n").toStdString();
        EXPECT_EQ(CertificateTrust().trustedFile(box()), "");
    }
}

} // namespace

namespace {

CertificateInfo parsed(const tds::testing::TestCertificate &c) {
    const auto der = certificateDerFromPem(QByteArray::fromStdString(c.certificatePem));
    EXPECT_TRUE(der.has_value());
    const auto info = parseCertificate(der.value_or(QByteArray()));
    EXPECT_TRUE(info.has_value());
    return info.value_or(CertificateInfo{});
}

TEST(CertificateFault, SaysInPlainWordsWhatIsWrongWithTheCertificate) {
    const auto &certs = testCertificates();
    const CertificateInfo server = parsed(certs.server), self = parsed(certs.selfSigned);
    EXPECT_EQ(server.sha256().toStdString(), certs.server.fingerprint);
    EXPECT_TRUE(server.names("127.0.0.2") && server.names("localhost") &&
                !server.names("db9.hospital.local"));
    const QByteArray ca = QByteArray::fromStdString(certs.ca.certificatePem);
    const QByteArray other = QByteArray::fromStdString(certs.otherSelfSigned.certificatePem);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    struct Case {
        const CertificateInfo *presented;
        QString host;
        std::optional<CertificateInfo> trusted;
        QDateTime at;
        std::optional<QByteArray> authorities;
        QString expected; // the start of the answer; "" for none
    };
    const Case cases[] = {
        {&server, "127.0.0.2", std::nullopt, now, ca, ""},
        {&server, "127.0.0.2", std::nullopt, now, other,
         "it is issued by O=QUORIX Test, CN=QUORIX Test CA, an authority this machine does not trust"},
        {&server, "db9.hospital.local", std::nullopt, now, ca,
         "it is issued to localhost, 127.0.0.1, 127.0.0.2, 127.0.0.3, not to db9.hospital.local"},
        {&server, "127.0.0.2", std::nullopt, now.addYears(2), ca, "it expired on "},
        {&server, "127.0.0.2", std::nullopt, now, std::nullopt,
         "it could not be verified against the certificate authorities this machine trusts"},
        {&self, "127.0.0.2", std::nullopt, now, ca, "it is self-signed"},
        {&self, "127.0.0.2", self, now, ca, ""},
        {&self, "127.0.0.2", parsed(certs.otherSelfSigned), now, ca, "it is not the certificate trusted"},
    };
    for (const Case &c : cases) {
        const QString got = certificateFault(*c.presented, c.host, c.trusted, c.at, c.authorities);
        if (c.expected.isEmpty())
            EXPECT_EQ(got, "") << c.host.toStdString();
        else
            EXPECT_TRUE(got.startsWith(c.expected)) << got.toStdString();
    }
}

} // namespace
