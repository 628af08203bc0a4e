#pragma once

// Automation from the command line: controls set, pressed and read by name, message boxes answered, tabs
// rendered to images. Parsing and checking happen before start-up, so a bad option runs nothing. The
// options are described once, in the table of Automation.cpp, from which usage() is written.

#include "core/status/MirroringCheck.h"

#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <vector>

namespace quorix {

class frmMain;

struct AutomationStep {
    enum class Kind { Set, Click, DoubleClick, Select, Print, Answer, Screenshot, SaveScript };
    Kind kind;
    QString option; // as given, for messages
    QString name;   // control name, the folder of a screenshot, or the file of --save-script
    QString value;  // VALUE of --set, ROW of --select, yes/no of --answer
};

struct AutomationPlan {
    bool headless = false;
    bool help = false;
    bool version = false;
    bool json = false; // --format json: grids, lists and the pre-flight checklist printed as JSON
    std::vector<AutomationStep> steps;
    // --check-mirroring: no window; the servers' Status rows judged for a monitoring system.
    bool checkMirroring = false;
    status::QueueThresholds thresholds;
    std::array<QString, 2> servers; // --main-server, --mirror-server ("" when not given)
    std::array<QString, 2> logins;  // --main-login, --mirror-login ("" when not given)
    // --trust-certificate SLOT=SHA256: the certificate to trust for a slot's server when it is refused.
    std::array<QString, 2> trustedFingerprints;
    QString journalDir; // --journal-dir ("" for the user's data folder)
    // --password-stdin SLOT, in the order given: each reads one line of standard input.
    std::vector<int> passwordStdinSlots;
    // The passwords of this run (readRunPasswords): from standard input, else QUORIX_MAIN_PW /
    // QUORIX_MIRROR_PW. Used instead of the remembered ones and not remembered themselves.
    std::array<std::optional<QString>, 2> passwords;
    static constexpr int kCheckTimeoutSeconds = 8;
    int timeoutSeconds = kCheckTimeoutSeconds; // --timeout: each login and statement, and the whole check
    QString error;                             // not empty: the command line is malformed

    bool scriptedAnswers() const; // some --answer given
    bool firstAnswer() const;     // the answer in force at start-up
};

class Automation {
public:
    // args without the program name.
    static AutomationPlan parse(const QStringList &args);
    // Checks every name and value against the window's controls; returns the error, "" when all is well.
    static QString validate(const AutomationPlan &plan, const frmMain &window);
    // Runs the steps in order. Returns 0 when every step did what it asked, 1 otherwise. With Script only
    // ticked at the end, the collected script is printed to stdout.
    static int run(const AutomationPlan &plan, frmMain &window);
    // Fills plan.passwords: one line of standard input for each --password-stdin, then the environment.
    // Returns the problem ("" when none): standard input ended before a password.
    static QString readRunPasswords(AutomationPlan &plan);
    // programName: the executable's base name. Needs no application object.
    static QString usage(const QString &programName);
    static QString version(const QString &programName); // "quorix-dbtools 6.0.0.22"
};

} // namespace quorix
