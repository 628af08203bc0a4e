#include "gui/masking/AnonymizerDefault.h"

#include "core/masking/AnonymizerLists.h"
#include "gui/ui/BoxText.h"
#include "gui/ui/Form.h"
#include "gui/ui/Operations.h"

#include <QPushButton>

namespace quorix {

AnonymizerDefault::AnonymizerDefault(Form &form) : m_form(form) {
    Operations::onClick(m_form.cmdDefault, [this] { cmdDefault_Click(); });
}

void AnonymizerDefault::cmdDefault_Click() {
    setBoxText(m_form.txtATables, defaultWorkList());
}

} // namespace quorix
