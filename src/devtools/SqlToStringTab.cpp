#include "devtools/SqlToStringTab.h"

#include "devtools/SqlToString.h"
#include "ui/BoxText.h"
#include "ui/Form.h"
#include "ui/Operations.h"

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
