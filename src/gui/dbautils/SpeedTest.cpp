#include "gui/dbautils/SpeedTest.h"

#include "core/db/ConnectionString.h"
#include "core/db/DbError.h"
#include "core/db/Recordset.h"
#include "core/db/ServerConnection.h"
#include "gui/ui/DatabaseWalk.h"
#include "gui/ui/Form.h"
#include "gui/ui/Hourglass.h"
#include "gui/ui/Operations.h"
#include "gui/ui/Prompt.h"
#include "gui/ui/WindowHost.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>

namespace quorix {

namespace {

// Statements quicker than the connection's own wait never reach the event loop, so the loops yield
// themselves this often.
constexpr double kYieldSeconds = 0.02;

} // namespace

SpeedTest::SpeedTest(Form &form, const LogPanes &log) : m_form(form), m_log(log) {
    for (int i = 0; i < 4; ++i)
        Operations::onClick(m_form.cmdTest[static_cast<size_t>(i)], [this, i] { cmdTest_Click(i); });
    if (m_form.cmdCancel)
        m_cancel = QObject::connect(m_form.cmdCancel, &QPushButton::clicked, [this] {
            if (!m_running)
                return;
            // Seen between two statements, the click ends the loop at its next statement.
            m_cancelled = true;
            m_running->cancel();
        });
}

SpeedTest::~SpeedTest() {
    QObject::disconnect(m_cancel);
}

void SpeedTest::useMainServer() {
    const QString main = m_form.txtServer[0]->text();
    if (!main.isEmpty())
        m_form.txtTESTConnection->setText(speedTestConnectionString(main));
}

void SpeedTest::cmdTest_Click(int index) {
    m_form.lblTime->clear();
    if (!databaseNamed(m_form, m_log))
        return;
    QCoreApplication::processEvents();
    Hourglass hourglass;
    StartStopwatch(); // the time includes opening the connection
    try {
        ServerConnection connection;
        m_running = &connection;
        m_cancelled = false;
        const auto notRunning = qScopeGuard([this] { m_running = nullptr; });
        // Its own string, protected as Main's session is (the string names Main's server).
        const QString text = m_form.txtTESTConnection->text();
        ConnectionOptions options = connectionOptionsFor(m_form, 0, parseOleDbConnectionString(text).server);
        options.windowsAuthentication = false; // the string names its own login
        connection.open({text, options});
        runTest(index, connection, m_form.txtDB->text());
        m_form.lblTime->setText(secondsText(ReadStopwatch()));
    } catch (const DbError &e) {
        // The connection is closed by now, also after a failure; rows already added or deleted stay so.
        hourglass.restore();
        Prompt::msgBox(e.description());
    }
}

void SpeedTest::runTest(int index, ServerConnection &connection, const QString &db) {
    m_sinceYield.start();
    switch (index) {
    case 0:
        connection.execute(createSpeedTestStatement(db));
        break;
    case 1:
        for (int row = 1; row <= kSpeedTestRows; ++row) {
            connection.execute(insertSpeedTestStatement(db, row));
            yieldNowAndThen();
        }
        break;
    case 2:
        // Each removes one row; once the table is empty the rest remove nothing.
        for (int n = 0; n < kSpeedTestRows; ++n) {
            connection.execute(deleteSpeedTestStatement(db));
            yieldNowAndThen();
        }
        break;
    case 3: {
        Recordset rs = connection.openRecordset(readSpeedTestStatement(db));
        while (!rs.eof()) {
            const QString text = Recordset::displayText(rs.value(0));
            Q_UNUSED(text);
            rs.moveNext();
            yieldNowAndThen();
        }
        break;
    }
    default:
        break;
    }
}

void SpeedTest::yieldNowAndThen() {
    if (m_sinceYield.seconds() >= kYieldSeconds) {
        QCoreApplication::processEvents();
        m_sinceYield.start();
    }
    if (m_cancelled)
        throw DbError::ofText(QStringLiteral("HY008"), 0, QStringLiteral("Operation was cancelled"));
}

} // namespace quorix
