#include "core/audit/Journal.h"

#include "core/db/ConnectionString.h"
#include "core/db/MaskPasswords.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <vector>

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

QString fileIn(const QString &folder, const QDate &day) {
    return QDir(folder).filePath(kPrefix + day.toString(QStringLiteral("yyyy-MM-dd")) + kSuffix);
}

// Appends lines (each with its line break) to the file of day in folder; false with the problem.
bool appendLines(const QString &folder, const QDate &day, const QByteArray &lines, QString &problem) {
    if (!ownerOnlyFolder(folder)) {
        problem = QStringLiteral("cannot make the folder %1").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    QFile file(fileIn(folder, day));
    // Made owner-only from the start: the lines name servers, logins and the statements sent.
    if (!file.open(QIODevice::Append | QIODevice::Text, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        problem = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file.fileName()), file.errorString());
        return false;
    }
    if (file.write(lines) != lines.size() || !file.flush()) {
        problem = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file.fileName()), file.errorString());
        return false;
    }
    return true;
}

// The day of one of the journal's own files ("journal-2026-12-09.jsonl"), else an invalid date. Read as
// plain text: this runs on the writer thread, and on Windows a regular expression's per-thread stack made
// the program crash as that thread ended.
QDate dayOfFile(const QString &file) {
    constexpr qsizetype kDay = 10; // yyyy-MM-dd
    if (file.size() != kPrefix.size() + kDay + kSuffix.size() || !file.startsWith(kPrefix) ||
        !file.endsWith(kSuffix))
        return {};
    const QString day = file.mid(kPrefix.size(), kDay);
    for (qsizetype i = 0; i < kDay; ++i) {
        const QChar c = day[i];
        if (i == 4 || i == 7 ? c != QLatin1Char('-') : c < QLatin1Char('0') || c > QLatin1Char('9'))
            return {};
    }
    return QDate::fromString(day, QStringLiteral("yyyy-MM-dd"));
}

// Removes the journal's files in folder older than keep days before today; 0 or less keeps them all.
int removeOldFilesIn(const QString &folder, const QDate &today, int keep) {
    if (keep <= 0)
        return 0;
    const QDate oldestKept = today.addDays(-keep);
    QDir dir(folder);
    int removed = 0;
    for (const QString &file : dir.entryList(QDir::Files)) {
        // Only the journal's own files are ever removed.
        const QDate day = dayOfFile(file);
        if (day.isValid() && day < oldestKept && dir.remove(file))
            ++removed;
    }
    return removed;
}

QString toldText(const QString &problem) {
    return QStringLiteral("The journal cannot be written (%1); the work goes on without it.").arg(problem);
}

} // namespace

// The queue of lines and the thread that writes them. Shared with that thread: when the journal ends while
// a write hangs, the thread is let go and this lives on with it.
struct Journal::Writer : std::enable_shared_from_this<Writer> {
    struct Entry {
        QString folder;
        QDate day;
        QString line;
        bool prune = false; // the first line of its day: older files are removed once it is written
        int keepDays = 0;
        int folderSet = 0;
    };

    std::mutex mutex;
    std::condition_variable wake;    // lines queued, or the journal ends
    std::condition_variable settled; // lines written or given up
    std::deque<Entry> queue;
    quint64 queued = 0;
    quint64 done = 0;
    bool busy = false;     // writing a batch taken from the queue
    bool stopping = false; // the journal ended
    int toldFor = -1;      // the folder set whose problem was told
    QString pending;       // a problem not told yet
    std::atomic<bool> hasPending{false};
    const LogSink *log = nullptr; // null once the journal ended
    QThread *home = nullptr;      // the thread that made the journal: the log is told there
    QThread *thread = nullptr; // the writer; let go, not deleted, when the journal ends while a write hangs

    // A plain subclass: QThread::create wraps its callable in std::future machinery, whose thread-local
    // state made the program link to the dynamic loader itself.
    class Thread final : public QThread {
    public:
        explicit Thread(std::shared_ptr<Writer> writer) : m_writer(std::move(writer)) {}

    protected:
        void run() override { m_writer->run(); }

    private:
        std::shared_ptr<Writer> m_writer;
    };

    void run() {
        for (;;) {
            std::vector<Entry> batch;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return stopping || !queue.empty(); });
                if (queue.empty())
                    return;
                batch.assign(std::make_move_iterator(queue.begin()), std::make_move_iterator(queue.end()));
                queue.clear();
                busy = true;
            }
            write(batch);
            {
                std::lock_guard lock(mutex);
                done += batch.size();
                busy = false;
            }
            settled.notify_all();
        }
    }

    // Lines of the same folder and day go in one append.
    void write(const std::vector<Entry> &batch) {
        for (size_t i = 0; i < batch.size();) {
            size_t end = i + 1;
            while (end < batch.size() && batch[end].folder == batch[i].folder &&
                   batch[end].day == batch[i].day)
                ++end;
            QByteArray lines;
            bool prune = false;
            for (size_t k = i; k < end; ++k) {
                lines += (batch[k].line + QLatin1Char('\n')).toUtf8();
                prune = prune || batch[k].prune;
            }
            QString problem;
            if (appendLines(batch[i].folder, batch[i].day, lines, problem)) {
                if (prune)
                    removeOldFilesIn(batch[i].folder, batch[i].day, batch[end - 1].keepDays);
            } else {
                failed(batch[i].folderSet, problem);
            }
            i = end;
        }
    }

    // Keeps the problem for the log unless one was told for that folder set, and has the home thread
    // told of it through its event loop when there is one.
    void failed(int folderSet, const QString &problem) {
        std::lock_guard lock(mutex);
        if (toldFor == folderSet)
            return;
        toldFor = folderSet;
        pending = problem;
        hasPending = true;
        QCoreApplication *app = QCoreApplication::instance();
        if (log && app && app->thread() == home)
            QMetaObject::invokeMethod(
                app,
                [writer = weak_from_this()] {
                    if (const std::shared_ptr<Writer> w = writer.lock())
                        w->tellPending();
                },
                Qt::QueuedConnection);
    }

    // On the home thread: tells the problem kept, if any.
    void tellPending() {
        if (!hasPending || QThread::currentThread() != home)
            return;
        QString problem;
        const LogSink *sink = nullptr;
        {
            std::lock_guard lock(mutex);
            if (!hasPending)
                return;
            problem = pending;
            pending.clear();
            hasPending = false;
            sink = log;
        }
        if (sink)
            sink->LogLine(toldText(problem));
    }

    bool waitSettled(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex);
        const quint64 target = queued;
        return settled.wait_for(lock, limit, [this, target] { return done >= target; });
    }
};

Journal::Journal(const LogSink &log)
    : m_now([] { return QDateTime::currentDateTimeUtc(); }), m_user(systemUser()),
      m_workstation(workstation()), m_writer(std::make_shared<Writer>()) {
    m_writer->log = &log;
    m_writer->home = QThread::currentThread();
    m_writer->thread = new Writer::Thread(m_writer);
    m_writer->thread->start();
}

Journal::~Journal() {
    Writer &w = *m_writer;
    w.waitSettled(kShutdownWait);
    bool idle = false;
    {
        std::lock_guard lock(w.mutex);
        w.stopping = true;
        w.log = nullptr;
        idle = w.queue.empty() && !w.busy;
    }
    w.wake.notify_all();
    // A write that hangs (a share gone) keeps its thread: let go, it ends with the process.
    if (idle) {
        w.thread->wait();
        delete w.thread;
    }
}

void Journal::setFolder(const QString &folder) {
    std::lock_guard lock(m_mutex);
    m_folder = folder;
    m_prunedOn = QDate();
    ++m_folderSet;
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
    return fileIn(folder(), day);
}

int Journal::removeOldFiles() {
    QDate today;
    int keep = 0;
    {
        std::lock_guard lock(m_mutex);
        today = m_now().date();
        keep = m_keepDays;
    }
    return removeOldFilesIn(folder(), today, keep);
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
    // With the integrated login the server is told the account's own credentials (a Kerberos ticket on
    // Linux, whose principal need not be the user's name): say how, not a login name the string carries.
    field("login", jsonText(s.windowsAuthentication ? QStringLiteral("Windows authentication") : parts.user));
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

void Journal::record(const SentStatement &statement) noexcept {
    try {
        QString control;
        Writer::Entry entry;
        {
            std::lock_guard lock(m_mutex);
            if (m_control)
                control = m_control();
            entry.day = m_now().date();
            entry.prune = m_prunedOn != entry.day;
            m_prunedOn = entry.day;
            entry.folder = m_folder.isEmpty() ? defaultFolder() : m_folder;
            entry.keepDays = m_keepDays;
            entry.folderSet = m_folderSet;
        }
        SentStatement s = statement;
        if (!s.time.isValid())
            s.time = QDateTime::currentDateTimeUtc();
        entry.line = lineOf(s, m_user, m_workstation, control);
        Writer &w = *m_writer;
        bool full = false;
        {
            std::lock_guard lock(w.mutex);
            full = w.queue.size() >= static_cast<size_t>(kMostWaiting);
            if (!full) {
                w.queue.push_back(std::move(entry));
                ++w.queued;
            }
        }
        if (full)
            w.failed(entry.folderSet, QStringLiteral("%1 lines are waiting to be written to %2")
                                          .arg(kMostWaiting)
                                          .arg(QDir::toNativeSeparators(entry.folder)));
        else
            w.wake.notify_one();
        w.tellPending();
    } catch (...) {
        // The journal never stops the work it records.
    }
}

bool Journal::flush(std::chrono::milliseconds limit) noexcept {
    try {
        const bool settled = m_writer->waitSettled(limit);
        m_writer->tellPending();
        return settled;
    } catch (...) {
        return false;
    }
}

} // namespace quorix
