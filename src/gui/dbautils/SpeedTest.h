#pragma once

// The "TEST" tab: four buttons time a fixed amount of simple work on a server, each on a fresh connection of
// its own opened from txtTESTConnection (not the sessions), in the database named in txtDB, and show the
// seconds in lblTime. A failure shows the driver's description in a message box and leaves lblTime empty.
// With no database named in txtDB a press is refused like every database button's: the log says so, nothing
// is sent and no connection is opened.
//
//   cmdTest(0) "Create Table"    CREATE TABLE D..SpeedTest (DESC2 varchar(100))
//   cmdTest(1) "Test ADD   <3s"  5000 single-row inserts
//   cmdTest(2) "Test Delete"     5000 single-row deletes (sent even when the table is empty by then)
//   cmdTest(3) "Test Read  <2s"  reads up to 5000 rows, every value as text
//
// Cancel ends a press: the statement running fails like any other, and a loop between two statements stops
// with "Operation was cancelled".

#include "core/dbautils/SpeedTestSql.h"

#include <QMetaObject>
#include <QString>

namespace quorix {

struct Form;
class LogPanes;
class ServerConnection;

class SpeedTest {
public:
    SpeedTest(Form &form, const LogPanes &log);
    ~SpeedTest();
    SpeedTest(const SpeedTest &) = delete;
    SpeedTest &operator=(const SpeedTest &) = delete;

    void cmdTest_Click(int index);

    // Start-up, once the server boxes are loaded: the test's connection string names the Main server. An
    // empty Main box leaves the built-in address.
    void useMainServer();

    void StartStopwatch() { m_stopwatch.start(); }
    double ReadStopwatch() const { return m_stopwatch.seconds(); }

private:
    void runTest(int index, ServerConnection &connection, const QString &db);
    void yieldNowAndThen(); // also where a loop stops once Cancel is clicked

    Form &m_form;
    const LogPanes &m_log;
    Stopwatch m_stopwatch;
    Stopwatch m_sinceYield;
    ServerConnection *m_running = nullptr; // the press's connection, for Cancel
    bool m_cancelled = false;
    QMetaObject::Connection m_cancel;
};

} // namespace quorix
