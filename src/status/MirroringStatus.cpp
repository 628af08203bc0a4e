#include "status/MirroringStatus.h"

#include "db/LogPanes.h"
#include "db/ServerSessions.h"
#include "status/StatusSql.h"
#include "ui/Form.h"
#include "ui/Operations.h"
#include "ui/RunAside.h"
#include "ui/widgets/Grid.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTime>
#include <QTimer>

namespace quorix {

using namespace status;

MirroringStatus::MirroringStatus(Form &form, ServerSessions &sessions, const LogPanes &log, QObject *parent)
    : QObject(parent), m_form(form), m_log(log),
      m_reads([&sessions](int slot) { return sessions.connectionString(slot); }) {
    connect(m_form.tmrStatus, &QTimer::timeout, this, [this] { timerTick(); });
    Operations::onClick(m_form.cmdStatusRefresh, [this] { cmdStatusRefresh_Click(); });
    connect(m_form.chkStatusAuto, &QCheckBox::toggled, this, [this] { chkStatusAuto_Click(); });
    m_form.GridStatus->setData(statusHeaders(), {});
}

MirroringStatus::~MirroringStatus() = default;

void MirroringStatus::chkStatusAuto_Click() {
    if (m_form.chkStatusAuto->isChecked())
        m_form.tmrStatus->start();
    else
        m_form.tmrStatus->stop();
}

void MirroringStatus::timerTick() {
    // Read only while the tab is looked at, and never in the way of an operation: a server that is down
    // costs its login time-out, during which buttons would be refused.
    const bool shown = m_form.SSTab1 && m_form.GridStatus && m_form.SSTab1->currentWidget() &&
                       m_form.SSTab1->currentWidget()->isAncestorOf(m_form.GridStatus);
    if (!shown || Operations::busy())
        return;
    Operations::run(QStringLiteral("Status every 10 s"), [this] { cmdStatusRefresh_Click(); });
}

void MirroringStatus::cmdStatusRefresh_Click() {
    std::array<Reading, 2> readings;
    for (int slot = 0; slot < 2; ++slot)
        readServer(slot, readings[static_cast<size_t>(slot)]);
    // A server read for the first time gives its rates from a second reading a moment later.
    const bool again = (readings[0].ok && !readings[0].before) || (readings[1].ok && !readings[1].before);
    if (again) {
        pauseFor(kRatePauseMs);
        for (int slot = 0; slot < 2; ++slot)
            if (readings[static_cast<size_t>(slot)].ok && !readings[static_cast<size_t>(slot)].before)
                readCounters(slot, readings[static_cast<size_t>(slot)]);
    }

    const PairFacts pair{endpointAddress(m_form.txtServer[0]->text()),
                         endpointAddress(m_form.txtServer[1]->text()), readings[0].ok, readings[1].ok};
    std::vector<StatusRow> rows =
        statusRows(readings[0].names, readings[0].databases, readings[1].names, readings[1].databases, pair);
    std::vector<QStringList> texts;
    for (StatusRow &row : rows) {
        const QString key = nameKey(row.db);
        for (int slot = 0; slot < 2; ++slot) {
            const Reading &r = readings[static_cast<size_t>(slot)];
            const auto now = r.counters.find(key);
            if (now == r.counters.end())
                continue;
            const Counters *before = nullptr;
            if (r.before)
                if (auto b = r.before->find(key); b != r.before->end())
                    before = &b->second;
            applyCounters(slot == 0 ? row.main : row.mirror, now->second, before, r.seconds);
        }
        texts.push_back(rowTexts(row));
    }
    m_form.GridStatus->setData(statusHeaders(), std::move(texts));
    m_form.lblStatusTime->setText(QStringLiteral("read at ") +
                                  QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
}

void MirroringStatus::readServer(int slot, Reading &reading) {
    try {
        const ResultTable databases = m_reads.read(slot, QLatin1String(kDatabasesQuery));
        reading.databases = readDatabases(databases, &reading.names);
        reading.ok = true;
        m_lastFailure[static_cast<size_t>(slot)].clear();
        readCounters(slot, reading);
    } catch (const DbError &e) {
        reading = Reading{};
        m_last[static_cast<size_t>(slot)].reset();
        noteFailure(slot, e.description());
    }
}

void MirroringStatus::readCounters(int slot, Reading &reading) {
    std::optional<Sample> &last = m_last[static_cast<size_t>(slot)];
    try {
        Sample now{status::readCounters(m_reads.read(slot, QLatin1String(kCountersQuery))), {}};
        now.taken.start();
        if (last) {
            reading.before = last->counters;
            reading.seconds = static_cast<double>(last->taken.nsecsElapsed()) / 1e9;
        }
        reading.counters = now.counters;
        last = std::move(now);
    } catch (const DbError &e) {
        // The databases were read: the grid shows them without the counters.
        last.reset();
        noteFailure(slot, e.description());
    }
}

void MirroringStatus::noteFailure(int slot, const QString &description) {
    QString &lastFailure = m_lastFailure[static_cast<size_t>(slot)];
    if (lastFailure == description)
        return; // read every ten seconds: the same failure once is enough
    lastFailure = description;
    m_log.LogLine(QStringLiteral("Status: %1 could not be read: %2").arg(sideName(slot == 0), description));
}

} // namespace quorix
