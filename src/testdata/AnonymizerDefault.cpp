#include "testdata/AnonymizerDefault.h"

#include "testdata/AnonymizerLists.h"
#include "ui/BoxText.h"
#include "ui/Form.h"
#include "ui/Operations.h"

#include <QPushButton>

namespace quorix {

AnonymizerDefault::AnonymizerDefault(Form &form) : m_form(form) {
    Operations::onClick(m_form.cmdDefault, [this] { cmdDefault_Click(); });
}

void AnonymizerDefault::cmdDefault_Click() {
    setBoxText(m_form.txtATables, defaultWorkList());
}

} // namespace quorix
