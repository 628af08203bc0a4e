#pragma once

// The "SQL to String" tab: "make VB->" converts txtSRC into txtDest, "<-ClearSQL" converts back.

namespace quorix {

struct Form;

class SqlToStringTab {
public:
    explicit SqlToStringTab(Form &form);

    void cmdMakeVB_Click();
    void cmdClearSQL_Click();

private:
    Form &m_form;
};

} // namespace quorix
