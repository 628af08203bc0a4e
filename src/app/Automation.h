#pragma once

// Automation from the command line: controls set, pressed and read by name, message boxes answered, tabs
// rendered to images. Parsing and checking happen before start-up, so a bad option runs nothing.
//
//   --headless              no window on screen; exit after the last option
//   --set NAME=VALUE        text box text, check box 0/1, tab strip index
//   --click NAME            press a button (or a check box)
//   --double-click NAME     click and then double-click the current row of a grid or file list
//   --select NAME=ROW       make ROW (from 0) the current row of a grid or list, without clicking
//   --print NAME            a control's text or value on stdout ("frmMain": the window caption)
//   --answer yes|no         the answer to the message boxes from here on (their texts are printed)
//   --screenshot DIR        each tab of SSTab1 rendered to DIR/SSTab1-NN[-caption].png

#include <QString>
#include <QStringList>
#include <vector>

namespace quorix {

class frmMain;

struct AutomationStep {
    enum class Kind { Set, Click, DoubleClick, Select, Print, Answer, Screenshot };
    Kind kind;
    QString option; // as given, for messages
    QString name;   // control name, or the folder of a screenshot
    QString value;  // VALUE of --set, ROW of --select, yes/no of --answer
};

struct AutomationPlan {
    bool headless = false;
    bool help = false;
    std::vector<AutomationStep> steps;
    QString error; // not empty: the command line is malformed

    bool scriptedAnswers() const; // some --answer given
    bool firstAnswer() const;     // the answer in force at start-up
};

class Automation {
public:
    // args without the program name.
    static AutomationPlan parse(const QStringList &args);
    // Checks every name and value against the window's controls; returns the error, "" when all is well.
    static QString validate(const AutomationPlan &plan, const frmMain &window);
    // Runs the steps in order. Returns 0 when every step did what it asked, 1 otherwise.
    static int run(const AutomationPlan &plan, frmMain &window);
    static QString usage();
};

} // namespace quorix
