#pragma once

// The real window against two scripted servers (the kit's Main and Mirror, tests/support/window/WindowKit.h),
// for the mirroring buttons that only talk SQL. Each server keeps a list of its databases that the
// "RefreshDB" query reads at the moment it runs, so a rule (a DROP, say) can change what the next refresh
// shows.

#include "WindowKit.h"
#include "gui/ui/DatabaseLists.h"
#include "gui/ui/widgets/Grid.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <mutex>
#include <regex>

namespace quorix::testing {

// A server's databases, shared between the test and the server's callback rules.
class DatabaseSet {
public:
    void set(std::vector<std::string> names) {
        std::lock_guard lock(m_mutex);
        m_names = std::move(names);
    }
    std::vector<std::string> names() const {
        std::lock_guard lock(m_mutex);
        return m_names;
    }
    void remove(const std::string &name) {
        std::lock_guard lock(m_mutex);
        std::erase(m_names, name);
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_names;
};

// A server error as the driver reports it in the log pane.
// Clear Connections' batch as a server receives it, written out; literal is @dbname's whole text literal
// ("'Billing'", "N'Больница'").
inline std::string clearConnectionsWith(const std::string &literal) {
    return "USE master ;  DECLARE @dbname nvarchar(128), @spid varchar(10), @start datetime "
           "SELECT @start = current_timestamp, @dbname = " +
           literal +
           " while(exists(Select * FROM sysprocesses WHERE dbid = db_id(@dbname)) AND "
           " datediff(mi, @start, current_timestamp) < 5)     BEGIN      DECLARE spids CURSOR FOR "
           "      SELECT convert(varchar, spid) FROM sysprocesses        WHERE dbid = db_id(@dbname) "
           "     OPEN spids      While (1 = 1)      BEGIN       FETCH spids INTO @spid "
           "      IF @@fetch_status < 0 BREAK       exec('kill ' + @spid)      End      DEALLOCATE spids "
           "End ";
}

inline QString driverError(const std::string &message) {
    return QStringLiteral("[FreeTDS][SQL Server]") + QString::fromStdString(message);
}

class MirroringWindow : public WindowTest {
protected:
    void SetUp() override {
        startMain();
        startMirror();
        servedLists(*main, mainDbs);
        servedLists(*mirror, mirrorDbs);
    }

    // Starts the window (which lists both servers) and forgets what start-up sent and logged.
    void start() {
        EXPECT_EQ(kList, utf8(DatabaseLists::kListStatement));
        w.start();
        resetRecord();
    }
    void resetRecord() {
        main->clearRecord();
        mirror->clearRecord();
        f().txtLog->clear();
    }

    QStringList column0(int slot) {
        QStringList out;
        for (int r = 0; r < f().GridDB[slot]->rows(); ++r)
            out << f().GridDB[slot]->textMatrix(r, 0);
        return out;
    }

    // Runs action (once) when txtDB first takes the text name, as a user would tick a box during a walk.
    void whenCurrentDatabaseIs(const QString &name, std::function<void()> action) {
        auto once = std::make_shared<bool>(false);
        QObject::connect(f().txtDB, &QLineEdit::textChanged, f().txtDB,
                         [name, action, once](const QString &text) {
                             if (text == name && !*once) {
                                 *once = true;
                                 action();
                             }
                         });
    }
    // Runs action (once) when a line starting with prefix is logged.
    void whenLogged(const QString &prefix, std::function<void()> action) {
        auto once = std::make_shared<bool>(false);
        QObject::connect(f().txtLog, &QPlainTextEdit::textChanged, f().txtLog, [this, prefix, action, once] {
            if (!*once && f().txtLog->toPlainText().startsWith(prefix)) {
                *once = true;
                action();
            }
        });
    }

    DatabaseSet mainDbs, mirrorDbs;

private:
    static void servedLists(tds::ScriptedServer &server, DatabaseSet &dbs) {
        server.addRule(tds::Rule::callback(
            [&dbs](const std::string &, const tds::ConnectionState &) -> std::optional<tds::Reply> {
                return databaseRows(dbs.names());
            },
            std::regex_replace(kList, std::regex(R"([.*+?^${}()|\[\]\\])"), R"(\$&)")));
    }
};

} // namespace quorix::testing
