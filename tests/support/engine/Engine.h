#pragma once

// The T-SQL engine of the `engine` tests (engine.sh beside this file starts it as a CTest fixture): its
// address and login, a plain ODBC connection of the test's own to set tables up and read them back, and the
// real program's command line pointed at it. The including test defines QUORIX_ENGINE_SH (engine.sh's path)
// and, for runs of the program, QUORIX_EXE.

#include "tds/OdbcClient.h"

#include <QString>
#include <QStringList>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace quorix::testing::engine {

inline const std::string kAddress = "127.0.0.5"; // engine.sh's TDS address, port 1433
inline const std::string kPassword = "Quorix.Test1";

// The engine is started by root only (it adds its address to lo and runs as its own system user).
#define QUORIX_SKIP_WITHOUT_ENGINE()                                                                         \
    do {                                                                                                     \
        if (geteuid() != 0)                                                                                  \
            GTEST_SKIP() << "engine fixture needs root";                                                     \
    } while (0)

// One connection of the test's own, as sa, to one database; every statement must succeed.
class EngineDb {
public:
    explicit EngineDb(const std::string &database = "master") {
        const SQLRETURN r =
            client.connect(tds::testing::connectionString(kAddress, 1433, "sa", kPassword, database));
        EXPECT_TRUE(SQL_SUCCEEDED(r)) << tds::testing::toString(client.connectionDiags());
    }
    void run(const std::string &sql) {
        const SQLRETURN r = client.exec(sql);
        EXPECT_TRUE(SQL_SUCCEEDED(r) || r == SQL_NO_DATA) << sql.substr(0, 300) << "\n"
                                                          << tds::testing::toString(client.diags());
    }
    std::vector<tds::testing::TextRow> rows(const std::string &sql) {
        run(sql);
        return client.fetchAll();
    }
    tds::testing::OdbcClient client;
};

// A database made afresh (dropped first when an earlier run left it); the engine folds its name to lower
// case, so tests name theirs in lower case.
inline void freshDatabase(EngineDb &master, const std::string &name) {
    master.run("IF DB_ID('" + name + "') IS NOT NULL DROP DATABASE " + name);
    master.run("CREATE DATABASE " + name);
}

// engine.sh's set-up steps that only the engine's own superuser can take.
inline void engineStep(const std::string &arguments) {
    const std::string command = std::string("bash ") + QUORIX_ENGINE_SH + " " + arguments;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}
// Each database's user may act in the next ones, as sa may everywhere on SQL Server (engine.sh link).
inline void linkDatabases(const std::string &names) {
    engineStep("link " + names);
}
// Row counts of the catalog come from the engine's statistics.
inline void analyze() {
    engineStep("analyze");
}

// The program's command line against the engine as Main (slot 0) and, with mirror, as Mirror too: the
// connection settings first, then steps. Every option a server needs goes here, in one place (the engine
// offers no encryption: its PRELOGIN answers "not supported", so a login that insists on it fails).
inline QStringList toolArgs(const QStringList &steps, bool mirror = false) {
    QStringList args{"--headless"};
    // The engine offers no encryption: the tool reaches it as it reaches an old server, by the DBA's choice.
    for (int slot = 0; slot < (mirror ? 2 : 1); ++slot)
        args << "--set" << QStringLiteral("cboEncryption(%1)=Optional").arg(slot) << "--set"
             << QStringLiteral("txtServer(%1)=%2").arg(slot).arg(QString::fromStdString(kAddress)) << "--set"
             << QStringLiteral("txtPW(%1)=%2").arg(slot).arg(QString::fromStdString(kPassword));
    return args + steps;
}

} // namespace quorix::testing::engine
