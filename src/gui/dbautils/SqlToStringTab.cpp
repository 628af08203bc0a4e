#include "gui/dbautils/SqlToStringTab.h"

#include "core/dbautils/SqlToString.h"
#include "gui/ui/BoxText.h"
#include "gui/ui/Form.h"
#include "gui/ui/Operations.h"

#include <QPushButton>

namespace quorix {

SqlToStringTab::SqlToStringTab(Form &form) : m_form(form) {
    Operations::onClick(m_form.cmdMakeVB, [this] { cmdMakeVB_Click(); });
    Operations::onClick(m_form.cmdClearSQL, [this] { cmdClearSQL_Click(); });
}

void SqlToStringTab::cmdMakeVB_Click() {
    setBoxText(m_form.txtDest, sqlToVbSource(boxText(m_form.txtSRC)));
}

void SqlToStringTab::cmdClearSQL_Click() {
    setBoxText(m_form.txtSRC, vbSourceToSql(boxText(m_form.txtDest)));
}

} // namespace quorix
