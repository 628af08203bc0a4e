#pragma once

// Message boxes. In an interactive run they are shown modally with the application's default title; in a
// scripted run (automation, tests) the text is printed to stdout, recorded, and the scripted answer taken,
// so no run ever waits for a click that cannot come.

#include <QString>
#include <QStringList>

namespace quorix {

class Prompt {
public:
    static void msgBox(const QString &text);   // OK button only
    static bool askYesNo(const QString &text); // true for yes
    // "Trust this certificate" or Cancel; true for trust. A scripted run never trusts by its answer: it
    // prints the text (which names --trust-certificate) and takes Cancel.
    static bool askTrust(const QString &text);
    static void setScripted(bool scripted, bool answerYes = true);
    static bool scripted();
    static QStringList shown(); // texts of every box so far, oldest first
    static void clearShown();
};

} // namespace quorix
