// The journal of a flow on the real window, through the real driver to scripted servers: a Backup on Main,
// a Restore on the Mirror, a table copy of 2,500 rows in blocks and a Script only run each leave one line
// per change sent (or held back), with every field and no password; a password inside a statement is
// masked in the log and the journal while the server receives it; a journal that cannot be written is told
// once and the flow goes on; "Save log" writes the log pane's lines to the file the dialog is answered
// with.

#include "MirroringWindow.h"
#include "core/audit/Journal.h"
#include "core/db/ServerSessions.h"
#include "gui/ui/widgets/Grid.h"
#include "tds/TableModel.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <sys/stat.h>

using namespace quorix;
using namespace quorix::testing;
using tds::Reply;
using tds::Rule;

namespace {

const std::string kFolder = "p:\\backup\\MIR\\";

class JournalFlow : public MirroringWindow {
protected:
    void SetUp() override {
        MirroringWindow::SetUp();
        mainDbs.set({"Billing", "QRIX", "QRIX2"});
        mirrorDbs.set({"Zeta"});
        // The Mirror's backup of Billing: its file list, and any restore of it done.
        mirror->addRule(Rule::callback(
            [](const std::string &, const tds::ConnectionState &) -> std::optional<Reply> {
                return Reply::rows(
                    {{tds::makeColumn("LogicalName", "nvarchar(128)"),
                      tds::makeColumn("PhysicalName", "nvarchar(260)"), tds::makeColumn("Type", "char(1)")},
                     {{"Billing_Data", "E:\\SQLData\\Billing.mdf", "D"},
                      {"Billing_Log", "E:\\SQLLog\\Billing_log.ldf", "L"}}});
            },
            R"( RESTORE FILELISTONLY  FROM DISK = '.*)"));
        // The copy's target does not exist yet: the existence check finds no row.
        main->addRule(Rule::callback(
            [](const std::string &, const tds::ConnectionState &) -> std::optional<Reply> {
                return Reply::rows({{tds::makeColumn("name", "nvarchar(128)")}, {}});
            },
            "SELECT \\* FROM sys\\.objects WHERE object_id = OBJECT_ID\\(N'.*'\\) AND type in \\(N'U'\\)"));
        start();
    }

    QString journalFile() { return w.window().journal().fileOf(QDateTime::currentDateTimeUtc().date()); }
    // The journal's lines, each as its object; a line that is not one JSON object fails the test.
    std::vector<QJsonObject> journalLines() {
        std::vector<QJsonObject> out;
        EXPECT_TRUE(w.window().journal().flush()); // the journal's thread has written what was queued
        QFile file(journalFile());
        if (!file.open(QIODevice::ReadOnly))
            return out;
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.isEmpty())
                continue;
            QJsonParseError error{};
            const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
            EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
            EXPECT_TRUE(doc.isObject()) << line.toStdString();
            out.push_back(doc.object());
        }
        return out;
    }
    // "control | session | statement | outcome | rows" of each line.
    static QStringList summary(const std::vector<QJsonObject> &lines) {
        QStringList out;
        for (const QJsonObject &o : lines) {
            const QJsonValue rows = o.value("rows");
            out << QStringLiteral("%1 | %2 | %3 | %4 | %5")
                       .arg(o.value("control").toString(), o.value("session").toString(),
                            o.value("statement").toString(), o.value("outcome").toString(),
                            rows.isNull() ? QStringLiteral("null") : QString::number(rows.toInteger()));
        }
        return out;
    }
};

std::vector<tds::Row> numbered(int n) {
    std::vector<tds::Row> rows;
    for (int i = 1; i <= n; ++i)
        rows.push_back({std::to_string(i), "patient " + std::to_string(i)});
    return rows;
}

} // namespace

TEST_F(JournalFlow, OneLinePerChangeSentOrHeldBackWithEveryFieldAndNoPassword) {
    // Start-up only read (the database lists): nothing journaled.
    ASSERT_TRUE(w.window().journal().flush());
    EXPECT_FALSE(QFile::exists(journalFile()));
    EXPECT_TRUE(w.window().journal().folder().startsWith(qEnvironmentVariable("XDG_DATA_HOME")));

    f().txtDB->setText("Billing");
    click("cmdBackup(0)");
    click("cmdRestore(1)");

    // A table copy of 2,500 rows: two columns, 1,000 rows a block.
    main->tables().set("QRIX..Patients",
                       {tds::makeColumn("id", "int"), tds::makeColumn("name", "nvarchar(50)")},
                       numbered(2500));
    main->tables().set("QRIX2..Patients",
                       {tds::makeColumn("id", "int"), tds::makeColumn("name", "nvarchar(50)")});
    f().txtDB->setText("QRIX");
    f().Grid2->setData(
        {"TableName", "SchemaName", "RowCounts", "TotalSpaceKB", "UsedSpaceKB", "UnusedSpaceKB"},
        {{"Patients", "dbo", "0", "8", "8", "0"}});
    f().Grid2->setRow(0);
    click("cmdCopyTables");
    EXPECT_EQ(main->tables().rows("QRIX2..Patients"), numbered(2500));

    // Script only: the backup is held back, and journaled as not sent.
    f().txtDB->setText("Billing");
    f().chkScriptOnly->setChecked(true);
    click("cmdBackup(0)");
    f().chkScriptOnly->setChecked(false);

    // A password inside a statement, sent outside any button: the server receives it, nobody else sees it.
    w.window().sessions().ExecuteOnServer(0, "CREATE LOGIN mirroring WITH PASSWORD = 'S3cret''s'");
    EXPECT_EQ(sent(0).back(), "CREATE LOGIN mirroring WITH PASSWORD = 'S3cret''s'");
    EXPECT_EQ(log().mid(0, 2), (QStringList{"Done", "CREATE LOGIN mirroring WITH PASSWORD = '********'"}));

    // A change sent through the query path is journaled like any other; the read is not.
    EXPECT_EQ(w.window().sessions().OpenQuery(0, "SELECT * INTO QRIX..Kept FROM QRIX..Patients", false), "");
    EXPECT_EQ(w.window().sessions().OpenQuery(0, "SELECT name FROM QRIX..Patients", false), "");
    w.window().sessions().rs().close();

    const std::vector<QJsonObject> lines = journalLines();
    // The rows go through the driver's bulk copy, a batch of 1,000 rows a line.
    const QString insert = QStringLiteral("INSERT BULK QRIX2.dbo.Patients (id, name)");
    EXPECT_EQ(
        summary(lines),
        (QStringList{
            "cmdBackup(0) | Main | BACKUP DATABASE Billing TO DISK = 'p:\\backup\\MIR\\Billing.BAK'   WITH "
            "FORMAT | done | null",
            "cmdBackup(0) | Main | BACKUP Log  Billing TO DISK = 'p:\\backup\\MIR\\Billing_log.BAK'   WITH "
            "FORMAT | done | null",
            "cmdRestore(1) | Mirror | RESTORE DATABASE  Billing FROM DISK = 'p:\\backup\\MIR\\Billing.bak' "
            "With    MOVE  'Billing_Data' TO 'D:\\db\\Billing.mdf',  MOVE  'Billing_Log' TO "
            "'D:\\db\\Billing_log.ldf',  NORECOVERY    | done | null",
            "cmdRestore(1) | Mirror | RESTORE LOG  Billing FROM DISK = 'p:\\backup\\MIR\\Billing_log.bak' "
            "With   MOVE  'Billing_Data' TO 'D:\\db\\Billing.mdf',  MOVE  'Billing_Log' TO "
            "'D:\\db\\Billing_log.ldf',  NORECOVERY   | done | null",
            "cmdCopyTables | Main | Use QRIX | done | null",
            "cmdCopyTables | Main | SELECT top 1 * INTO QRIX2..Patients FROM QRIX..Patients | done | null",
            "cmdCopyTables | Main | truncate table QRIX2..Patients  | done | null",
            "cmdCopyTables | Main | SET IDENTITY_INSERT QRIX2.dbo.Patients ON | done | null",
            "cmdCopyTables | Main | " + insert + " | done | 1000",
            "cmdCopyTables | Main | " + insert + " | done | 1000",
            "cmdCopyTables | Main | " + insert + " | done | 500",
            "cmdCopyTables | Main | SET IDENTITY_INSERT QRIX2.dbo.Patients OFF | done | null",
            "cmdBackup(0) | Main | BACKUP DATABASE Billing TO DISK = 'p:\\backup\\MIR\\Billing.BAK'   WITH "
            "FORMAT | not sent | null",
            "cmdBackup(0) | Main | BACKUP Log  Billing TO DISK = 'p:\\backup\\MIR\\Billing_log.BAK'   WITH "
            "FORMAT | not sent | null",
            " | Main | CREATE LOGIN mirroring WITH PASSWORD = '********' | done | null",
            " | Main | SELECT * INTO QRIX..Kept FROM QRIX..Patients | done | null",
        }));
    // Every line with every field: who, where, which server and login, the database in use, how long.
    const QRegularExpression utcMillis(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}\\.\\d{3}Z$"));
    for (const QJsonObject &o : lines) {
        const bool onMain = o.value("session").toString() == QLatin1String("Main");
        EXPECT_TRUE(utcMillis.match(o.value("time").toString()).hasMatch())
            << o.value("time").toString().toStdString();
        EXPECT_EQ(o.value("user").toString(), Journal::systemUser());
        EXPECT_EQ(o.value("workstation").toString(), Journal::workstation());
        EXPECT_EQ(o.value("server").toString(), serverBox(onMain ? *main : *mirror));
        EXPECT_EQ(o.value("login").toString(), "sa");
        EXPECT_TRUE(o.value("duration_ms").isDouble());
        EXPECT_FALSE(o.contains("error_number"));
    }
    // The database in use after each: Main's session stays in QRIX once the copy's USE has run.
    QStringList databases;
    for (const QJsonObject &o : lines)
        databases << o.value("database").toString();
    // The bulk loads run on a connection of their own beside the session, which stays in its login's
    // database.
    EXPECT_EQ(databases, (QStringList{"MASTER", "MASTER", "MASTER", "MASTER", "QRIX", "QRIX", "QRIX", "QRIX",
                                      "MASTER", "MASTER", "MASTER", "QRIX", "QRIX", "QRIX", "QRIX", "QRIX"}));
    // No password anywhere in the journal: not the logins' (of the connection strings), not the statement's.
    QFile file(journalFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray all = file.readAll();
    for (const char *secret : {"pwMain", "pwMirror", "S3cret"})
        EXPECT_FALSE(all.contains(secret)) << secret;
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(journalFile()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(JournalFlow, AFailedStatementCarriesTheServersNumberAndText) {
    main->addRule(Rule::pattern(
        "BACKUP Log .*",
        Reply::error(4208, "The statement BACKUP LOG is not allowed while the recovery model is "
                           "SIMPLE.")));
    f().txtDB->setText("Billing");
    click("cmdBackup(0)");
    const std::vector<QJsonObject> lines = journalLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].value("outcome").toString(), "failed");
    EXPECT_EQ(lines[1].value("error_number").toInt(), 4208);
    EXPECT_EQ(lines[1].value("error").toString(),
              driverError("The statement BACKUP LOG is not allowed while the recovery model is SIMPLE."));
}

TEST_F(JournalFlow, AJournalThatCannotBeWrittenIsToldOnceAndTheFlowGoesOn) {
    // A file where the folder should be: root, who runs the tests, is not stopped by a read-only folder.
    QTemporaryDir dir;
    const QString blocked = dir.filePath("blocked");
    {
        QFile file(blocked);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    w.window().journal().setFolder(blocked + "/journal");
    f().txtDB->setText("Billing");
    click("cmdBackup(0)");
    click("cmdBackup(0)");
    EXPECT_EQ(sent(0),
              (std::vector<std::string>{
                  "BACKUP DATABASE Billing TO DISK = 'p:\\backup\\MIR\\Billing.BAK'   WITH FORMAT",
                  "BACKUP Log  Billing TO DISK = 'p:\\backup\\MIR\\Billing_log.BAK'   WITH FORMAT",
                  "BACKUP DATABASE Billing TO DISK = 'p:\\backup\\MIR\\Billing.BAK'   WITH FORMAT",
                  "BACKUP Log  Billing TO DISK = 'p:\\backup\\MIR\\Billing_log.BAK'   WITH FORMAT"}));
    ASSERT_TRUE(w.window().journal().flush()); // the problem met on the journal's thread is told here
    const QString told = "The journal cannot be written (cannot make the folder " + blocked +
                         "/journal); the work goes on without it.";
    EXPECT_EQ(logged().count(told), 1);
    EXPECT_EQ(logged().count("Done"), 4);
}

TEST_F(JournalFlow, SaveLogWritesThePanesLinesToTheFileTheDialogIsAnsweredWith) {
    EXPECT_EQ(f().cmdSaveLog->text(), "Save log");
    f().txtDB->setText("Billing");
    click("cmdBackup(0)");
    const QStringList shown = log();
    QTemporaryDir dir;
    const QString path = dir.filePath("ward.log");
    // The dialog is answered once it shows.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != QLatin1String("dlgSaveLog"))
            return;
        answer.stop();
        dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, &QDialog::accept); // as the Save button would
    });
    answer.start(10);
    click("cmdSaveLog");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), shown.join('\n') + '\n');
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(log().first(), "Log saved to " + path);
}
