#pragma once

// A failure reported by the database client: every diagnostic record the driver gave for the call, in order.

#include <QString>
#include <exception>
#include <vector>

namespace quorix {

struct DiagRecord {
    QString state;  // five-character SQLSTATE, "01000" for server messages (PRINT, progress)
    int native = 0; // the server's message number
    QString message;
};

class DbError : public std::exception {
public:
    explicit DbError(std::vector<DiagRecord> records, QString fallback = QString());
    // A failure of our own layer (closed object, missing field), worded like the classic client.
    static DbError ofText(const QString &state, int native, const QString &message);

    // The text the program shows or logs: the message of the first record that is not a plain message
    // (SQLSTATE class 01), or of the first record when all are messages.
    QString description() const;
    const std::vector<DiagRecord> &records() const { return m_records; }
    bool hasState(const QString &state) const;
    const char *what() const noexcept override { return m_what.constData(); }

private:
    std::vector<DiagRecord> m_records;
    QString m_fallback;
    QByteArray m_what;
};

// Texts of failures that the classic client raised itself rather than the server.
namespace dbtext {
inline const char *const objectClosed = "Operation is not allowed when the object is closed.";
inline const char *const objectOpen = "Operation is not allowed when the object is open.";
inline const char *const noCurrentRecord =
    "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a "
    "current record.";
inline const char *const itemNotFound =
    "Item cannot be found in the collection corresponding to the requested name or ordinal.";
} // namespace dbtext

// The refusals of an object used while closed, and of a field name or ordinal it does not have.
inline DbError closedObjectError() {
    return DbError::ofText(QStringLiteral("08003"), 3704, QLatin1String(dbtext::objectClosed));
}
inline DbError unknownFieldError() {
    return DbError::ofText(QStringLiteral("42S22"), 3265, QLatin1String(dbtext::itemNotFound));
}

} // namespace quorix
