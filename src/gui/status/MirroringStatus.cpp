#include "gui/status/MirroringStatus.h"

#include "core/db/ServerSessions.h"
#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"
#include "gui/ui/RunAside.h"
#include "gui/ui/widgets/Grid.h"

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
      m_reader([&sessions](int slot) { return sessions.target(slot); }, pauseFor) {
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
    const Reading reading = m_reader.read();
    for (int slot = 0; slot < 2; ++slot) {
        const ServerReading &r = reading[static_cast<size_t>(slot)];
        if (r.read)
            m_lastFailure[static_cast<size_t>(slot)].clear();
        if (!r.failure.isEmpty())
            noteFailure(slot, r.failure);
    }
    std::vector<QStringList> texts;
    for (const StatusRow &row :
         statusRowsOf(reading, {m_form.txtServer[0]->text(), m_form.txtServer[1]->text()}))
        texts.push_back(rowTexts(row));
    m_form.GridStatus->setData(statusHeaders(), std::move(texts));
    m_form.lblStatusTime->setText(QStringLiteral("read at ") +
                                  QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
}

void MirroringStatus::noteFailure(int slot, const QString &description) {
    QString &lastFailure = m_lastFailure[static_cast<size_t>(slot)];
    if (lastFailure == description)
        return; // read every ten seconds: the same failure once is enough
    lastFailure = description;
    m_log.LogLine(QStringLiteral("Status: %1 could not be read: %2").arg(sideName(slot == 0), description));
}

} // namespace quorix
