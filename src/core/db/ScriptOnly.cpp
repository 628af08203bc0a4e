#include "core/db/ScriptOnly.h"

#include "core/db/MaskPasswords.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QSaveFile>
#include <QUuid>

namespace quorix {

namespace {

constexpr size_t kShownValues = 10; // of a prepared statement's first execution, in its comment

// The log shows the batch with its passwords masked; the script keeps them, since it is what would run.
QString notSent(const QString &sql) {
    return QStringLiteral("Not sent (Script only): ") + maskStatementPasswords(sql);
}

QString valueText(const QVariant &v) {
    if (!v.isValid() || v.isNull())
        return QStringLiteral("NULL");
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return v.toString();
    case QMetaType::QByteArray:
        return QStringLiteral("0x") + QString::fromLatin1(v.toByteArray().toHex().toUpper());
    case QMetaType::QDate:
        return QLatin1Char('\'') + v.toDate().toString(Qt::ISODate) + QLatin1Char('\'');
    case QMetaType::QDateTime:
        return QLatin1Char('\'') + v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) +
               QLatin1Char('\'');
    case QMetaType::QUuid:
        return QLatin1Char('\'') + v.toUuid().toString(QUuid::WithoutBraces) + QLatin1Char('\'');
    default: {
        QString text = v.toString();
        text.replace(QLatin1Char('\''), QStringLiteral("''"));
        return QStringLiteral("N'") + text + QLatin1Char('\'');
    }
    }
}

// A comment stays on its lines: a line break inside it would start SQL.
QString commentLine(const QString &text) {
    QString line = text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return QStringLiteral("-- ") + line;
}

} // namespace

qint64 CollectedStatement::execute(const std::vector<QVariant> &values) {
    std::lock_guard lock(m_mutex);
    if (m_executions++ == 0)
        m_first = values;
    return 1;
}

QString CollectedStatement::comment() const {
    std::lock_guard lock(m_mutex);
    QString text = QStringLiteral("prepared (%1); executed %2 time%3")
                       .arg(m_types.join(QStringLiteral(", ")))
                       .arg(m_executions)
                       .arg(m_executions == 1 ? QString() : QStringLiteral("s"));
    if (m_executions > 0) {
        QStringList shown;
        for (size_t i = 0; i < m_first.size() && i < kShownValues; ++i)
            shown << valueText(m_first[i]);
        if (m_first.size() > kShownValues)
            shown << QStringLiteral("...");
        text += QStringLiteral("; first values: ") + shown.join(QStringLiteral(", "));
    }
    return commentLine(text);
}

ScriptOnly &scriptOnly() {
    static ScriptOnly instance;
    return instance;
}

void ScriptOnly::setActive(bool on) {
    std::lock_guard lock(m_mutex);
    m_active = on;
    m_context.clear();
}

bool ScriptOnly::active() const {
    std::lock_guard lock(m_mutex);
    return m_active;
}

void ScriptOnly::clear() {
    std::lock_guard lock(m_mutex);
    m_items.clear();
    m_context.clear();
}

void ScriptOnly::setLog(std::function<void(const QString &)> log) {
    std::lock_guard lock(m_mutex);
    m_log = std::move(log);
}

void ScriptOnly::setServerNames(std::function<QString(const QString &)> nameOf) {
    std::lock_guard lock(m_mutex);
    m_nameOf = std::move(nameOf);
}

QString ScriptOnly::serverNamed(const QString &connectionString) const {
    std::function<QString(const QString &)> nameOf;
    {
        std::lock_guard lock(m_mutex);
        nameOf = m_nameOf;
    }
    return nameOf ? nameOf(connectionString) : QString();
}

void ScriptOnly::add(Item item) {
    auto pending = m_context.find(item.server);
    if (pending != m_context.end() && !item.fileOperation) {
        for (const QString &sql : pending->second)
            m_items.push_back(Item{item.server, item.time, sql, nullptr, false});
        m_context.erase(pending);
    }
    m_items.push_back(std::move(item));
}

bool ScriptOnly::sends(const QString &server, const QString &sql) {
    std::function<void(const QString &)> log;
    {
        std::lock_guard lock(m_mutex);
        if (!m_active)
            return true;
        switch (classifySql(sql)) {
        case SqlKind::Read:
            return true;
        case SqlKind::Context:
            m_context[server].push_back(sql);
            return true;
        case SqlKind::Change:
            add(Item{server, QDateTime::currentDateTime(), sql, nullptr, false});
            log = m_log;
            break;
        }
    }
    if (log)
        log(notSent(sql));
    return false;
}

bool ScriptOnly::collects(const QString &sql) const {
    return active() && classifySql(sql) == SqlKind::Change;
}

std::shared_ptr<CollectedStatement> ScriptOnly::collectPrepared(const QString &server, const QString &sql,
                                                                const QStringList &types) {
    if (!collects(sql))
        return nullptr;
    auto collected = std::make_shared<CollectedStatement>(types);
    std::function<void(const QString &)> log;
    {
        std::lock_guard lock(m_mutex);
        add(Item{server, QDateTime::currentDateTime(), sql, collected, false});
        log = m_log;
    }
    if (log)
        log(notSent(sql));
    return collected;
}

void ScriptOnly::collectFileOperation(const QString &what) {
    std::function<void(const QString &)> log;
    {
        std::lock_guard lock(m_mutex);
        add(Item{QString(), QDateTime::currentDateTime(), what, nullptr, true});
        log = m_log;
    }
    if (log)
        log(QStringLiteral("Not done (Script only): ") + what);
}

std::vector<ScriptOnly::Item> ScriptOnly::items() const {
    std::lock_guard lock(m_mutex);
    return m_items;
}

QString ScriptOnly::script() const {
    QString out;
    for (const Item &item : items()) {
        const QString time = item.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (item.fileOperation) {
            out += commentLine(QStringLiteral("file, %1: %2").arg(time, item.text)) + QLatin1Char('\n');
            continue;
        }
        out += commentLine(QStringLiteral("%1, %2").arg(item.server, time)) + QLatin1Char('\n');
        if (item.prepared)
            out += item.prepared->comment() + QLatin1Char('\n');
        out += item.text;
        if (!item.text.endsWith(QLatin1Char('\n')))
            out += QLatin1Char('\n');
        out += QStringLiteral("GO\n");
    }
    return out;
}

QString ScriptOnly::save(const QString &path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    // The script holds the passwords of its statements and values of rows: for its owner only, set before
    // anything is written (a file it replaces would otherwise lend it its own permissions).
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(script().toUtf8());
    if (!file.commit())
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return {};
}

} // namespace quorix
