#pragma once

// The speed test's texts and its stopwatch: the connection string the TEST tab starts with, the four
// statements on the test table SpeedTest (one varchar(100) column DESC2) of a database, and the elapsed
// time as the tab shows it.

#include <QString>
#include <chrono>

namespace quorix {

inline constexpr int kSpeedTestRows = 5000; // rows added, single-row deletes sent, rows read at most

// "Provider=SQLOLEDB;Persist Security Info=True;Server=" + server + ";UID=sa;Database=MASTER;Password=" +
// "garden@584": unlike the sessions' string, no blank before the password item.
QString speedTestConnectionString(const QString &server);

// db + "..SpeedTest", the name by the quoting rule; an empty db gives "[]..SpeedTest", which no server
// takes (the TEST buttons refuse an empty Database box before they get here).
QString speedTestTable(const QString &db);
QString createSpeedTestStatement(const QString &db);          // "CREATE TABLE " ... " (DESC2 varchar(100))"
QString insertSpeedTestStatement(const QString &db, int row); // "insert into " ... " (DESC2) VALUES ('1')"
QString deleteSpeedTestStatement(const QString &db); // "delete top (1) from " ... " " (trailing blank)
QString readSpeedTestStatement(const QString &db);   // "select top 5000 * from " ...

// Elapsed time on a monotonic clock: neither a change of the system time nor a long uptime upsets it.
class Stopwatch {
public:
    void start() { m_start = std::chrono::steady_clock::now(); }
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

// Seconds to the microsecond, without trailing zeros: "1.25", "0.000731", "3".
QString secondsText(double seconds);

} // namespace quorix
