#pragma once

// The anonymizer's "Default" button: fills txtATables with the default work list. Start-up calls it when
// no work list is remembered.

namespace quorix {

struct Form;

class AnonymizerDefault {
public:
    explicit AnonymizerDefault(Form &form);
    void cmdDefault_Click();

private:
    Form &m_form;
};

} // namespace quorix
