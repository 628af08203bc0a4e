#pragma once

// The real window against real Samba (Main's share on 127.0.0.2, reached by the window as
// \\127.0.0.2\backup with the account of Main's user and password boxes) and, for the restores, a scripted
// Main server on 127.0.0.2:1433, so that Main's server box is the plain address that names both (tests
// take the ctest resource locks "samba" and, with the server, "sqlports"). The server answers the file-list
// query from the backups a test declares, by the backup file's whole path, refuses every other backup
// file, and puts each database it restores on its database list.

#include "DatabaseList.h"
#include "Port1433.h"
#include "SambaFixture.h"
#include "TestFiles.h"
#include "TestText.h"
#include "WindowKit.h"
#include "gui/ui/Prompt.h"
#include "gui/ui/widgets/FileList.h"
#include "gui/ui/widgets/Grid.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <map>
#include <mutex>
#include <set>

namespace quorix::testing {

using Files = std::vector<std::pair<std::string, std::string>>; // logical name, physical path

// The renamings need no server: they override withServer() to return false.
class RestoreWindow : public WindowTest {
protected:
    static void SetUpTestSuite() {
        if (!testsupport::SambaFixture::unavailable().empty())
            return;
        std::string error;
        if (!samba().start(error))
            s_error = error.empty() ? "Samba did not start" : error;
    }
    static void TearDownTestSuite() { samba().stop(); }
    static testsupport::SambaFixture &samba() {
        static testsupport::SambaFixture fixture;
        return fixture;
    }
    virtual bool withServer() const { return true; }

    void SetUp() override {
        QUORIX_SKIP_WITHOUT_SAMBA();
        ASSERT_TRUE(s_error.empty()) << s_error;
        samba().clearShares();
        const auto &share = samba().share(0);
        w.preset("MIR", "txtServer0", "127.0.0.2");
        w.preset("MAIN", "txtServerUser0", QString::fromStdString(share.user));
        w.preset("MAIN", "txtServerPW0", QString::fromStdString(share.password));
        if (!withServer())
            return;
        main = std::make_unique<tds::ScriptedServer>();
        main->setLogin("sa", "pwMain");
        serve();
        startOn1433(*main, "127.0.0.2");
        w.preset("MIR", "DB0", "pwMain");
        w.preset("txtRestoreTO", "DB0", "G"); // financial
        w.preset("txtRestoreTO", "DB1", "H"); // clinical
        w.preset("txtRestoreTO", "DB2", "I"); // other
        w.preset("MAIN", "txtBackupDrive", "q:\\kept\\");
    }
    // Starts the window (which lists Main's share in File1) and forgets what start-up sent and logged.
    void start() {
        w.start();
        f().txtLog->clear();
        Prompt::clearShown();
        if (main)
            main->clearRecord();
        QObject::connect(f().frmMain->statusBar(), &QStatusBar::messageChanged, f().frmMain,
                         [this](const QString &text) { status << text; });
    }

    // A file in Main's "backup" share; rel is relative to it ("MIR/x.bak").
    static void put(const std::string &rel) { samba().putFile(0, rel, "backup of " + rel); }
    static std::filesystem::path shared(const std::string &rel = {}) { return samba().share(0).folder / rel; }

    std::vector<std::string> sent() { return WindowTest::sent(0); }
    QStringList mainList() {
        QStringList out;
        for (int r = 0; r < f().GridDB[0]->rows(); ++r)
            out << f().GridDB[0]->textMatrix(r, 0);
        return out;
    }

    // Backups the server can read, by the whole path it is given; restores of refused paths fail. Read by
    // the server's rules until the kit stops it.
    std::map<std::string, Files> backups;
    std::set<std::string> refused;
    std::mutex dbsMutex;
    std::vector<std::string> dbs;
    QStringList status; // the status bar's messages, in order
    static inline std::string s_error;

private:
    // The text of the literal after "DISK = ", its doubled quotes undone.
    static std::string pathIn(const std::string &text) {
        std::string path;
        for (auto i = text.find('\'', text.find("DISK = ")) + 1; i < text.size(); ++i) {
            if (text[i] == '\'' && (i + 1 == text.size() || text[++i] != '\''))
                break;
            path += text[i];
        }
        return path;
    }
    static tds::Reply cannotOpen(const std::string &path) {
        return tds::Reply::error(3201, "Cannot open backup device '" + path + "'. Operating system error 2.")
            .then(tds::Message{3013, 16, 1, "RESTORE is terminating abnormally."});
    }
    void serve() {
        main->addRule(tds::Rule::callback(
            [this](const std::string &, const tds::ConnectionState &) -> std::optional<tds::Reply> {
                std::lock_guard lock(dbsMutex);
                return databaseRows(dbs);
            },
            "SELECT name FROM sys\\.databases .*"));
        main->addRule(tds::Rule::callback(
            [this](const std::string &text, const tds::ConnectionState &) -> std::optional<tds::Reply> {
                const auto it = backups.find(pathIn(text));
                if (it == backups.end())
                    return cannotOpen(pathIn(text));
                tds::ResultSet set{{tds::makeColumn("LogicalName", "nvarchar(128)"),
                                    tds::makeColumn("PhysicalName", "nvarchar(260)")},
                                   {}};
                for (const auto &[logical, physical] : it->second)
                    set.rows.push_back({logical, physical});
                return tds::Reply::rows(set);
            },
            " RESTORE FILELISTONLY .*"));
        main->addRule(tds::Rule::callback(
            [this](const std::string &text, const tds::ConnectionState &) -> std::optional<tds::Reply> {
                if (refused.count(pathIn(text)))
                    return cannotOpen(pathIn(text));
                const std::string db = text.substr(18, text.find(" FROM DISK") - 18);
                std::lock_guard lock(dbsMutex);
                dbs.push_back(db);
                return tds::Reply::done();
            },
            "RESTORE DATABASE .*"));
    }
};

} // namespace quorix::testing
