#include "core/audit/Journal.h"

#include "core/db/ConnectionString.h"
#include "core/db/MaskPasswords.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>

#ifdef _WIN32
#include <lmcons.h>
#include <windows.h>
#else
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quorix {

namespace {

const QLatin1String kPrefix("journal-");
const QLatin1String kSuffix(".jsonl");

// A JSON string: quotes, backslashes and control characters escaped, everything else as it is (UTF-8).
QString jsonText(const QString &text) {
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x2028 || c.unicode() == 0x2029)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}

QString outcomeText(SentStatement::Result r) {
    switch (r) {
    case SentStatement::Result::Done:
        return QStringLiteral("done");
    case SentStatement::Result::Failed:
        return QStringLiteral("failed");
    case SentStatement::Result::NotSent:
        break;
    }
    return QStringLiteral("not sent");
}

// Makes the folder when missing, for its owner only (0700). A folder that exists keeps its permissions: a
// share a hospital collects the journals from is theirs to set. False when there is no folder.
bool ownerOnlyFolder(const QString &path) {
    if (QFileInfo(path).isDir())
        return true;
    if (!QDir().mkpath(path))
        return false;
#ifndef _WIN32
    ::chmod(QFile::encodeName(path).constData(), 0700);
#endif
    return true;
}

} // namespace

Journal::Journal(const LogSink &log)
    : m_log(log), m_now([] { return QDateTime::currentDateTimeUtc(); }), m_user(systemUser()),
      m_workstation(workstation()) {}

void Journal::setFolder(const QString &folder) {
    std::lock_guard lock(m_mutex);
    m_folder = folder;
    m_prunedOn = QDate();
    m_problemTold = false;
}

QString Journal::folder() const {
    std::lock_guard lock(m_mutex);
    return m_folder.isEmpty() ? defaultFolder() : m_folder;
}

QString Journal::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/journal");
}

void Journal::setKeepDays(int days) {
    std::lock_guard lock(m_mutex);
    m_keepDays = days;
    m_prunedOn = QDate();
}

void Journal::setControl(std::function<QString()> control) {
    std::lock_guard lock(m_mutex);
    m_control = std::move(control);
}

void Journal::setClock(std::function<QDateTime()> now) {
    std::lock_guard lock(m_mutex);
    m_now = std::move(now);
}

QString Journal::fileOf(const QDate &day) const {
    return QDir(folder()).filePath(kPrefix + day.toString(QStringLiteral("yyyy-MM-dd")) + kSuffix);
}

int Journal::removeOldFiles() {
    QDate today;
    int keep = 0;
    {
        std::lock_guard lock(m_mutex);
        today = m_now().date();
        keep = m_keepDays;
    }
    if (keep <= 0)
        return 0;
    const QDate oldestKept = today.addDays(-keep);
    static const QRegularExpression name(QStringLiteral("^journal-(\\d{4}-\\d{2}-\\d{2})\\.jsonl$"));
    QDir dir(folder());
    int removed = 0;
    for (const QString &file : dir.entryList(QDir::Files)) {
        const QRegularExpressionMatch m = name.match(file);
        if (!m.hasMatch())
            continue; // only the journal's own files are ever removed
        const QDate day = QDate::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd"));
        if (day.isValid() && day < oldestKept && dir.remove(file))
            ++removed;
    }
    return removed;
}

QString Journal::lineOf(const SentStatement &s, const QString &user, const QString &workstation,
                        const QString &control) {
    const OleDbParts parts = parseOleDbConnectionString(s.connectionString);
    QString line(QLatin1Char('{'));
    const auto field = [&line](const char *key, const QString &value) {
        if (line.size() > 1)
            line += QLatin1Char(',');
        line += QLatin1Char('"') + QLatin1String(key) + QLatin1String("\":") + value;
    };
    field("time", jsonText(s.time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"))));
    field("user", jsonText(user));
    field("workstation", jsonText(workstation));
    field("session", jsonText(s.session));
    field("server", jsonText(parts.server));
    field("login", jsonText(parts.user));
    field("database", jsonText(s.database));
    field("control", jsonText(control));
    field("statement", jsonText(maskStatementPasswords(s.sql)));
    field("outcome", jsonText(outcomeText(s.result)));
    if (s.result == SentStatement::Result::Failed) {
        field("error_number", QString::number(s.errorNumber));
        field("error", jsonText(maskStatementPasswords(s.errorText)));
    }
    field("rows", s.rows >= 0 ? QString::number(s.rows) : QStringLiteral("null"));
    field("duration_ms", QString::number(s.milliseconds));
    line += QLatin1Char('}');
    return line;
}

QString Journal::systemUser() {
#ifdef _WIN32
    wchar_t name[UNLEN + 1];
    DWORD size = UNLEN + 1;
    if (GetUserNameW(name, &size) && size > 0)
        return QString::fromWCharArray(name, static_cast<qsizetype>(size) - 1);
    return qEnvironmentVariable("USERNAME");
#else
    // The account the process runs as, not whatever USER says.
    if (const passwd *pw = ::getpwuid(::geteuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER");
#endif
}

QString Journal::workstation() {
    return QSysInfo::machineHostName();
}

bool Journal::write(const QString &line, const QDate &day, QString &problem) {
    const QString dir = folder();
    if (!ownerOnlyFolder(dir)) {
        problem = QStringLiteral("cannot make the folder %1").arg(QDir::toNativeSeparators(dir));
        return false;
    }
    QFile file(fileOf(day));
    // Made owner-only from the start: the lines name servers, logins and the statements sent.
    if (!file.open(QIODevice::Append | QIODevice::Text, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        problem = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file.fileName()), file.errorString());
        return false;
    }
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        problem = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file.fileName()), file.errorString());
        return false;
    }
    return true;
}

void Journal::record(const SentStatement &statement) noexcept {
    try {
        QString control;
        QDate today;
        bool prune = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_control)
                control = m_control();
            today = m_now().date();
            prune = m_prunedOn != today;
            m_prunedOn = today;
        }
        SentStatement s = statement;
        if (!s.time.isValid())
            s.time = QDateTime::currentDateTimeUtc();
        QString problem;
        const bool written = write(lineOf(s, m_user, m_workstation, control), today, problem);
        if (written && prune)
            removeOldFiles();
        if (written)
            return;
        bool tell = false;
        {
            std::lock_guard lock(m_mutex);
            tell = !m_problemTold;
            m_problemTold = true;
        }
        if (tell)
            m_log.LogLine(QStringLiteral("The journal cannot be written (%1); the work goes on without it.")
                              .arg(problem));
    } catch (...) {
        // The journal never stops the work it records.
    }
}

} // namespace quorix
