#include "gui/ui/Prompt.h"

#include "gui/ui/Echo.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

namespace quorix {

namespace {
bool g_scripted = false;
bool g_answerYes = true;
QStringList g_shown;

void print(const QString &text) {
    std::FILE *to = Echo::logStream();
    std::fputs(text.toUtf8().constData(), to);
    std::fputc('\n', to);
    std::fflush(to);
}
// A box may come up in the middle of a server call, under its hourglass: the user answers it with the
// ordinary pointer, and the hourglass comes back afterwards.
struct ArrowWhileAsking {
    ArrowWhileAsking() { QApplication::setOverrideCursor(Qt::ArrowCursor); }
    ~ArrowWhileAsking() { QApplication::restoreOverrideCursor(); }
    ArrowWhileAsking(const ArrowWhileAsking &) = delete;
    ArrowWhileAsking &operator=(const ArrowWhileAsking &) = delete;
};
} // namespace

void Prompt::msgBox(const QString &text) {
    g_shown << text;
    if (g_scripted) {
        print(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok);
    ArrowWhileAsking arrow;
    box.exec();
}

bool Prompt::askYesNo(const QString &text) {
    g_shown << text;
    if (g_scripted) {
        print(text);
        return g_answerYes;
    }
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), text,
                    QMessageBox::Yes | QMessageBox::No);
    ArrowWhileAsking arrow;
    return box.exec() == QMessageBox::Yes;
}

bool Prompt::askTrust(const QString &text) {
    g_shown << text;
    if (g_scripted) {
        print(text);
        return false;
    }
    QMessageBox box(QMessageBox::Warning, QApplication::applicationName(), text, QMessageBox::Cancel);
    QPushButton *trust = box.addButton(QStringLiteral("Trust this certificate"), QMessageBox::AcceptRole);
    box.setDefaultButton(QMessageBox::Cancel);
    ArrowWhileAsking arrow;
    box.exec();
    return box.clickedButton() == trust;
}

void Prompt::setScripted(bool scripted, bool answerYes) {
    g_scripted = scripted;
    g_answerYes = answerYes;
}

bool Prompt::scripted() {
    return g_scripted;
}
QStringList Prompt::shown() {
    return g_shown;
}
void Prompt::clearShown() {
    g_shown.clear();
}

} // namespace quorix
