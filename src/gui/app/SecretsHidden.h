#pragma once

// For an image of the window: while one lives, the boxes that may show a password in clear show it masked,
// as the log does: the TEST tab's connection string, and every script box whose statements carry one
// (CREATE LOGIN ... PASSWORD = '...', CREATE MASTER KEY ...). Their own texts come back when it ends, and
// nothing is remembered meanwhile: the boxes' signals are held while their texts are swapped.

#include <QString>
#include <utility>
#include <vector>

class QLineEdit;
class QPlainTextEdit;

namespace quorix {

struct Form;

class SecretsHidden {
public:
    explicit SecretsHidden(Form &form);
    ~SecretsHidden();
    SecretsHidden(const SecretsHidden &) = delete;
    SecretsHidden &operator=(const SecretsHidden &) = delete;

private:
    QLineEdit *m_connection = nullptr; // the TEST tab's string, when it was masked
    QString m_connectionText;
    std::vector<std::pair<QPlainTextEdit *, QString>> m_memos;
};

} // namespace quorix
