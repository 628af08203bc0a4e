#include "app/Prompt.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

namespace quorix {

namespace {
bool g_scripted = false;
bool g_answerYes = true;
QStringList g_shown;

void print(const QString &text) {
    std::fputs(text.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
} // namespace

void Prompt::msgBox(const QString &text) {
    g_shown << text;
    if (g_scripted) {
        print(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok);
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
    return box.exec() == QMessageBox::Yes;
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
