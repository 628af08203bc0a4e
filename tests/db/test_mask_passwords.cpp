// The passwords written inside statements, masked for the log and the journal: each statement the tool or a
// DBA writes with a password, the literal's doubled quotes, Unicode literals, comments and names that only
// look like the keyword, and text that holds no password at all.

#include "core/db/MaskPasswords.h"

#include <gtest/gtest.h>

using quorix::maskStatementPasswords;

namespace {

struct Case {
    const char *sql;
    const char *shown;
};

const Case kCases[] = {
    {"CREATE LOGIN mirroring WITH PASSWORD = 'S3cret!'", "CREATE LOGIN mirroring WITH PASSWORD = '********'"},
    {"CREATE MASTER KEY ENCRYPTION BY PASSWORD = 'Key''s pw; GO'",
     "CREATE MASTER KEY ENCRYPTION BY PASSWORD = '********'"},
    {"CREATE CERTIFICATE MirrorCert WITH SUBJECT = 'm', EXPIRY_DATE = '20991231' ENCRYPTION BY PASSWORD='x'",
     "CREATE CERTIFICATE MirrorCert WITH SUBJECT = 'm', EXPIRY_DATE = '20991231' ENCRYPTION BY "
     "PASSWORD='********'"},
    {"BACKUP CERTIFICATE c TO FILE = 'c.cer' WITH PRIVATE KEY (FILE = 'c.pvk', ENCRYPTION BY PASSWORD = "
     "N'Zoë漢')",
     "BACKUP CERTIFICATE c TO FILE = 'c.cer' WITH PRIVATE KEY (FILE = 'c.pvk', ENCRYPTION BY PASSWORD = "
     "N'********')"},
    {"OPEN MASTER KEY DECRYPTION BY PASSWORD = 'pw'; SELECT 1",
     "OPEN MASTER KEY DECRYPTION BY PASSWORD = '********'; SELECT 1"},
    {"ALTER LOGIN sa WITH password\n=\t'new' OLD_PASSWORD = 'old'",
     "ALTER LOGIN sa WITH password\n=\t'********' OLD_PASSWORD = '********'"},
    {"CREATE LOGIN a WITH PASSWORD /* typed */ = -- here\n 'pw', CHECK_POLICY = OFF",
     "CREATE LOGIN a WITH PASSWORD /* typed */ = -- here\n '********', CHECK_POLICY = OFF"},
    // Two statements in a batch, each masked.
    {"CREATE LOGIN a WITH PASSWORD = 'one'\nCREATE LOGIN b WITH PASSWORD = 'two'",
     "CREATE LOGIN a WITH PASSWORD = '********'\nCREATE LOGIN b WITH PASSWORD = '********'"},
    // A literal that does not end is masked to the end.
    {"CREATE LOGIN a WITH PASSWORD = 'never ends", "CREATE LOGIN a WITH PASSWORD = '********'"},
    // The word inside a literal, a comment or a quoted name is not the keyword.
    {"SELECT 'PASSWORD = ''x''' AS a", "SELECT 'PASSWORD = ''x''' AS a"},
    {"-- PASSWORD = 'x'\nSELECT 1", "-- PASSWORD = 'x'\nSELECT 1"},
    {"SELECT [PASSWORD] = 'shown' FROM t", "SELECT [PASSWORD] = 'shown' FROM t"},
    {"SELECT \"password\" = 'shown'", "SELECT \"password\" = 'shown'"},
    // Longer words holding it, a password not given as a literal, and no password at all.
    {"UPDATE t SET user_password = 'kept'", "UPDATE t SET user_password = 'kept'"},
    {"CREATE LOGIN a WITH PASSWORD = 0x0200AB HASHED", "CREATE LOGIN a WITH PASSWORD = 0x0200AB HASHED"},
    {"CREATE LOGIN a WITH PASSWORD = @pw", "CREATE LOGIN a WITH PASSWORD = @pw"},
    {"BACKUP DATABASE Billing TO DISK = 'p:\\backup\\Billing.BAK'",
     "BACKUP DATABASE Billing TO DISK = 'p:\\backup\\Billing.BAK'"},
    {"", ""},
};

} // namespace

TEST(MaskPasswords, EveryStatementShowsItsPasswordsMaskedAndTheRestUnchanged) {
    for (const Case &c : kCases)
        EXPECT_EQ(maskStatementPasswords(QString::fromUtf8(c.sql)).toStdString(), c.shown) << c.sql;
}
