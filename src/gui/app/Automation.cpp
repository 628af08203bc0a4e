#include "gui/app/Automation.h"

#include "Version.h"

#include "core/db/ConnectionString.h"
#include "core/db/MaskPasswords.h"
#include "core/db/ScriptOnly.h"
#include "core/db/ServerSessions.h"
#include "core/db/secure/Certificate.h"

#include "core/status/StatusJson.h"
#include "gui/app/SecretsHidden.h"
#include "gui/app/frmMain.h"
#include "gui/status/Preflight.h"
#include "gui/ui/BoxText.h"
#include "gui/ui/Form.h"
#include "gui/ui/Prompt.h"
#include "gui/ui/widgets/FileList.h"
#include "gui/ui/widgets/Grid.h"
#include "gui/ui/widgets/LogPane.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

namespace quorix {

namespace {

using Kind = AutomationStep::Kind;

// Every option, as --help lists it. Flags take no value; the others become steps run in order.
struct Option {
    const char *name;
    const char *value; // "" for a flag
    std::optional<Kind> step;
    const char *help;
};

// clang-format off
const Option kOptions[] = {
    {"--headless",        "",           {},                "no window on screen; exit after the last option"},
    {"--set",             "NAME=VALUE", Kind::Set,         "text box text, check box 0/1, choice (cboEncryption(0)=Optional), tab strip index"},
    {"--click",           "NAME",       Kind::Click,       "press a button, or click the current row of a grid or file list"},
    {"--double-click",    "NAME",       Kind::DoubleClick, "click, then double-click the current row of a grid or file list"},
    {"--select",          "NAME=ROW",   Kind::Select,      "make ROW (from 0) the current row of a grid or list, without clicking"},
    {"--print",           "NAME",       Kind::Print,       "print a control's text or value (frmMain: the window caption)"},
    {"--answer",          "yes|no",     Kind::Answer,      "answer message boxes from here on (their texts are printed)"},
    {"--screenshot",      "DIR",        Kind::Screenshot,  "render each tab to DIR/SSTab1-NN-caption.png"},
    {"--save-script",     "FILE",       Kind::SaveScript,  "write what Script only (chkScriptOnly) collected so far to FILE"},
    {"--format",          "tsv|json",   {},                "--print of a grid or list, and --click cmdPreflight, as tsv (default) or json"},
    {"--journal-dir",     "DIR",        {},                "write the journal of the statements sent into DIR (else the user's data folder)"},
    {"--check-mirroring", "",           {},                "no window: judge both servers' Status rows, exit 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN"},
    {"--warn-queue-kb",   "KB",         {},                "for --check-mirroring: unsent or unrestored log that warns (default 10240)"},
    {"--crit-queue-kb",   "KB",         {},                "for --check-mirroring: unsent or unrestored log that is critical (default 102400)"},
    {"--main-server",     "ADDRESS",    {},                "for --check-mirroring: Main's server (else QUORIX_MAIN_SERVER, else the box)"},
    {"--mirror-server",   "ADDRESS",    {},                "for --check-mirroring: the Mirror's server (else QUORIX_MIRROR_SERVER, else the box)"},
    {"--main-login",      "LOGIN",      {},                "for --check-mirroring: Main's login (else QUORIX_MAIN_LOGIN, else the box; give a"},
    {"",                  "",           {},                "  monitoring login with VIEW SERVER STATE and VIEW ANY DEFINITION, not sa)"},
    {"--mirror-login",    "LOGIN",      {},                "for --check-mirroring: the Mirror's login (else QUORIX_MIRROR_LOGIN, else the box)"},
    {"--trust-certificate", "SLOT=SHA256", {},             "trust this certificate of slot 0 (Main) or 1 (Mirror) when its check fails"},
    {"--password-stdin",  "SLOT",       {},                "read slot 0's (Main) or 1's (Mirror) password for this run from a line of standard"},
    {"",                  "",           {},                "  input (else QUORIX_MAIN_PW / QUORIX_MIRROR_PW, else the remembered one)"},
    {"--timeout",         "SECONDS",    {},                "for --check-mirroring: give up on a server after this long (default 8)"},
    {"--version",         "",           {},                "print the program's version and exit"},
    {"--help",            "",           {},                "print this text and exit"},
};
// clang-format on
static_assert(status::QueueThresholds{}.warnKb == 10240 && status::QueueThresholds{}.critKb == 102400,
              "the help text names the thresholds' defaults");
static_assert(AutomationPlan::kCheckTimeoutSeconds == 8, "the help text names the timeout's default");

const Option *findOption(const QString &name) {
    for (const Option &o : kOptions)
        if (*o.name && name == QLatin1String(o.name))
            return &o;
    return nullptr;
}

void out(std::FILE *to, const QString &text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), to);
    std::fputc('\n', to);
    std::fflush(to);
}

bool toRow(const QString &text, int &row) {
    bool ok = false;
    row = text.toInt(&ok);
    return ok && row >= 0;
}

// Splits NAME=VALUE at the first '=' (names hold none; values may).
bool splitAssignment(const QString &text, QString &name, QString &value) {
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return false;
    name = text.left(eq);
    value = text.mid(eq + 1);
    return true;
}

QString checkStep(const AutomationStep &step, const frmMain &window) {
    if (step.kind == Kind::Answer || step.kind == Kind::Screenshot || step.kind == Kind::SaveScript)
        return {};
    QWidget *w = window.control(step.name);
    if (!w)
        return QStringLiteral("unknown control '%1' in %2").arg(step.name, step.option);
    const auto wrongKind = [&](const char *what) {
        return QStringLiteral("%1 is not %2 (%3)").arg(step.name, QLatin1String(what), step.option);
    };
    switch (step.kind) {
    case Kind::Set:
        if (qobject_cast<QCheckBox *>(w)) {
            if (step.value != QLatin1String("0") && step.value != QLatin1String("1"))
                return QStringLiteral("a check box takes 0 or 1 (%1)").arg(step.option);
            return {};
        }
        if (auto *tabs = qobject_cast<QTabWidget *>(w)) {
            int index = 0;
            if (!toRow(step.value, index) || index >= tabs->count())
                return QStringLiteral("%1 has tabs 0 to %2 (%3)")
                    .arg(step.name)
                    .arg(tabs->count() - 1)
                    .arg(step.option);
            return {};
        }
        if (qobject_cast<QLineEdit *>(w) || qobject_cast<QPlainTextEdit *>(w))
            return {};
        if (auto *choice = qobject_cast<QComboBox *>(w)) {
            if (choice->findText(step.value, Qt::MatchFixedString) >= 0)
                return {};
            QStringList items;
            for (int i = 0; i < choice->count(); ++i)
                items << choice->itemText(i);
            return QStringLiteral("%1 takes %2 (%3)")
                .arg(step.name, items.join(QStringLiteral(", ")), step.option);
        }
        return wrongKind("a text box, check box, choice or tab strip");
    case Kind::Click:
        return qobject_cast<QAbstractButton *>(w) || qobject_cast<Grid *>(w) || qobject_cast<FileList *>(w)
                   ? QString()
                   : wrongKind("a button, grid or file list");
    case Kind::DoubleClick:
        return qobject_cast<Grid *>(w) || qobject_cast<FileList *>(w) ? QString()
                                                                      : wrongKind("a grid or file list");
    case Kind::Select: {
        int row = 0;
        if (!toRow(step.value, row))
            return QStringLiteral("ROW must be a number from 0 (%1)").arg(step.option);
        return qobject_cast<Grid *>(w) || qobject_cast<QListWidget *>(w) ? QString()
                                                                         : wrongKind("a grid or list");
    }
    case Kind::Print:
    default:
        return {};
    }
}

QString valueOf(QWidget *w) {
    if (auto *window = qobject_cast<frmMain *>(w))
        return window->windowTitle();
    if (auto *line = qobject_cast<QLineEdit *>(w)) {
        // A password is never printed, only whether there is one; nor is one inside a connection string.
        if (line->echoMode() != QLineEdit::Normal)
            return line->text().isEmpty() ? QString() : QStringLiteral("********");
        return maskOleDbPassword(line->text());
    }
    if (auto *pane = qobject_cast<LogPane *>(w))
        return pane->wholeText(); // the archived lines too
    if (auto *memo = qobject_cast<QPlainTextEdit *>(w))
        return maskStatementPasswords(memo->toPlainText()); // a script's passwords, masked as in the log
    if (auto *check = qobject_cast<QCheckBox *>(w))
        return check->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    if (auto *choice = qobject_cast<QComboBox *>(w))
        return choice->currentText();
    if (auto *button = qobject_cast<QAbstractButton *>(w))
        return button->text();
    if (auto *label = qobject_cast<QLabel *>(w))
        return label->text();
    if (auto *tabs = qobject_cast<QTabWidget *>(w))
        return QString::number(tabs->currentIndex());
    if (auto *grid = qobject_cast<Grid *>(w)) {
        QStringList lines;
        for (int r = 0; r < grid->rows(); ++r) {
            QStringList cells;
            for (int c = 0; c < grid->cols(); ++c)
                cells << grid->textMatrix(r, c);
            lines << cells.join(QLatin1Char('\t'));
        }
        return lines.join(QLatin1Char('\n'));
    }
    if (auto *list = qobject_cast<QListWidget *>(w)) {
        QStringList lines;
        for (int r = 0; r < list->count(); ++r)
            lines << list->item(r)->text();
        return lines.join(QLatin1Char('\n'));
    }
    return {};
}

QString compact(const QJsonArray &array) {
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

// --print with --format json: a grid as one object per row under its headers, a list as its entries, any
// other control as a JSON string of its value. One document per line.
QString jsonOf(QWidget *w) {
    if (auto *grid = qobject_cast<Grid *>(w)) {
        QStringList headers;
        for (int c = 0; c < grid->cols(); ++c)
            headers << grid->model()->headerData(c, Qt::Horizontal).toString();
        std::vector<QStringList> rows;
        for (int r = 0; r < grid->rows(); ++r) {
            QStringList cells;
            for (int c = 0; c < grid->cols(); ++c)
                cells << grid->textMatrix(r, c);
            rows.push_back(cells);
        }
        return compact(status::rowsJson(headers, rows));
    }
    if (auto *list = qobject_cast<QListWidget *>(w)) {
        QJsonArray entries;
        for (int r = 0; r < list->count(); ++r)
            entries.append(list->item(r)->text());
        return compact(entries);
    }
    const QString array = compact(QJsonArray{valueOf(w)}); // ["..."]: the string, quoted as JSON quotes
    return array.mid(1, array.size() - 2);
}

bool screenshots(frmMain &window, const QString &folder) {
    if (!QDir().mkpath(folder)) {
        out(stderr, QStringLiteral("cannot create the folder %1 (--screenshot)").arg(folder));
        return false;
    }
    QTabWidget *tabs = window.form().SSTab1;
    const int shown = tabs->currentIndex();
    const SecretsHidden hidden(window.form());
    bool ok = true;
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QCoreApplication::processEvents();
        QString caption = tabs->tabText(i).trimmed();
        caption.replace(QLatin1Char(' '), QLatin1Char('_'));
        const QString file =
            QDir(folder).filePath(QStringLiteral("SSTab1-%1%2.png")
                                      .arg(i, 2, 10, QLatin1Char('0'))
                                      .arg(caption.isEmpty() ? QString() : QLatin1Char('-') + caption));
        if (!window.grab().save(file)) {
            out(stderr, QStringLiteral("cannot write %1 (--screenshot)").arg(file));
            ok = false;
        }
    }
    tabs->setCurrentIndex(shown);
    return ok;
}

// A click on the current row of a grid or file list, as the mouse gives it; a double click follows the
// click. A list with no current row has nothing to click.
bool clickRow(QWidget *w, const AutomationStep &step, bool twice) {
    if (auto *grid = qobject_cast<Grid *>(w)) {
        if (grid->row() < 0) {
            out(stderr, QStringLiteral("%1 has no current row (%2)").arg(step.name, step.option));
            return false;
        }
        emit grid->clicked1();
        if (twice)
            emit grid->doubleClicked1();
    } else if (auto *files = qobject_cast<FileList *>(w)) {
        if (files->listIndex() < 0) {
            out(stderr, QStringLiteral("%1 has no current entry (%2)").arg(step.name, step.option));
            return false;
        }
        emit files->itemClicked(files->currentItem());
        if (twice)
            emit files->doubleClicked1();
    }
    return true;
}

bool runStep(const AutomationStep &step, frmMain &window, bool json) {
    QWidget *w = window.control(step.name);
    switch (step.kind) {
    case Kind::Set:
        if (auto *check = qobject_cast<QCheckBox *>(w))
            check->setChecked(step.value == QLatin1String("1"));
        else if (auto *tabs = qobject_cast<QTabWidget *>(w))
            tabs->setCurrentIndex(step.value.toInt());
        else if (auto *line = qobject_cast<QLineEdit *>(w))
            line->setText(step.value);
        else if (auto *memo = qobject_cast<QPlainTextEdit *>(w))
            setBoxText(memo, step.value);
        else if (auto *choice = qobject_cast<QComboBox *>(w))
            choice->setCurrentIndex(choice->findText(step.value, Qt::MatchFixedString));
        return true;
    case Kind::Click:
        if (auto *button = qobject_cast<QAbstractButton *>(w)) {
            if (!button->isEnabled()) {
                out(stderr, QStringLiteral("%1 is disabled (%2)").arg(step.name, step.option));
                return false;
            }
            button->click();
            return true;
        }
        return clickRow(w, step, false);
    case Kind::DoubleClick:
        return clickRow(w, step, true);
    case Kind::Select: {
        const int row = step.value.toInt();
        if (auto *grid = qobject_cast<Grid *>(w)) {
            if (row >= grid->rows()) {
                out(stderr,
                    QStringLiteral("%1 has %2 rows (%3)").arg(step.name).arg(grid->rows()).arg(step.option));
                return false;
            }
            grid->setRow(row);
        } else if (auto *list = qobject_cast<QListWidget *>(w)) {
            if (row >= list->count()) {
                out(stderr, QStringLiteral("%1 has %2 entries (%3)")
                                .arg(step.name)
                                .arg(list->count())
                                .arg(step.option));
                return false;
            }
            list->setCurrentRow(row);
        }
        return true;
    }
    case Kind::Print:
        out(stdout, json ? jsonOf(w) : valueOf(w));
        return true;
    case Kind::Answer:
        Prompt::setScripted(true, step.value == QLatin1String("yes"));
        return true;
    case Kind::Screenshot:
        return screenshots(window, step.name);
    case Kind::SaveScript: {
        const QString problem = scriptOnly().save(step.name);
        if (!problem.isEmpty())
            out(stderr, problem + QStringLiteral(" (") + step.option + QLatin1Char(')'));
        return problem.isEmpty();
    }
    }
    return false;
}

// An option that sets something for the whole run rather than a step: --format and the check's own.
QString applySetting(AutomationPlan &plan, const QString &option, const QString &value) {
    if (option == QLatin1String("--format")) {
        if (value != QLatin1String("tsv") && value != QLatin1String("json"))
            return QStringLiteral("--format takes tsv or json, not '%1'").arg(value);
        plan.json = value == QLatin1String("json");
        return {};
    }
    if (option == QLatin1String("--main-login") || option == QLatin1String("--mirror-login")) {
        if (value.trimmed().isEmpty())
            return QStringLiteral("%1 needs a login").arg(option);
        plan.logins[option == QLatin1String("--main-login") ? 0 : 1] = value.trimmed();
        return {};
    }
    if (option == QLatin1String("--trust-certificate")) {
        const QString slot = value.section(QLatin1Char('='), 0, 0).trimmed();
        const QString fingerprint = normalisedFingerprint(value.section(QLatin1Char('='), 1));
        if ((slot != QLatin1String("0") && slot != QLatin1String("1")) || fingerprint.size() != 95)
            return QStringLiteral("--trust-certificate takes SLOT=SHA256 (0 or 1, then the 32-byte "
                                  "fingerprint the refused connection printed), not '%1'")
                .arg(value);
        plan.trustedFingerprints[slot.toInt()] = fingerprint;
        return {};
    }
    if (option == QLatin1String("--password-stdin")) {
        if (value != QLatin1String("0") && value != QLatin1String("1"))
            return QStringLiteral("--password-stdin takes the slot, 0 (Main) or 1 (Mirror), not '%1'")
                .arg(value);
        if (std::find(plan.passwordStdinSlots.begin(), plan.passwordStdinSlots.end(), value.toInt()) !=
            plan.passwordStdinSlots.end())
            return QStringLiteral("--password-stdin %1 is given twice").arg(value);
        plan.passwordStdinSlots.push_back(value.toInt());
        return {};
    }
    if (option == QLatin1String("--journal-dir")) {
        if (value.trimmed().isEmpty())
            return QStringLiteral("--journal-dir needs a folder");
        plan.journalDir = value;
        return {};
    }
    if (option == QLatin1String("--main-server") || option == QLatin1String("--mirror-server")) {
        if (value.trimmed().isEmpty())
            return QStringLiteral("%1 needs a server").arg(option);
        plan.servers[option == QLatin1String("--main-server") ? 0 : 1] = value.trimmed();
        return {};
    }
    bool ok = false;
    if (option == QLatin1String("--timeout")) {
        // Below NRPE's own 10 s by default; a day at most, so the deadline's arithmetic stays in range.
        const int seconds = value.toInt(&ok);
        if (!ok || seconds < 1 || seconds > 86400)
            return QStringLiteral("--timeout takes a number of seconds from 1 to 86400, not '%1'").arg(value);
        plan.timeoutSeconds = seconds;
        return {};
    }
    const qint64 kb = value.toLongLong(&ok);
    if (!ok || kb < 0)
        return QStringLiteral("%1 takes a number of KB, not '%2'").arg(option, value);
    (option == QLatin1String("--warn-queue-kb") ? plan.thresholds.warnKb : plan.thresholds.critKb) = kb;
    return {};
}

// The check reads the servers on its own, with nothing of the window: the two kinds do not mix.
QString combinationProblem(const AutomationPlan &plan, const QString &checkOption, bool formatGiven) {
    if (!plan.checkMirroring)
        return checkOption.isEmpty() ? QString()
                                     : QStringLiteral("%1 is for --check-mirroring").arg(checkOption);
    if (!plan.steps.empty())
        return QStringLiteral("--check-mirroring runs alone, not with %1").arg(plan.steps.front().option);
    if (formatGiven)
        return QStringLiteral("--check-mirroring prints the monitoring plugins' format, not --format");
    if (plan.thresholds.critKb < plan.thresholds.warnKb)
        return QStringLiteral("--crit-queue-kb %1 is below --warn-queue-kb %2")
            .arg(plan.thresholds.critKb)
            .arg(plan.thresholds.warnKb);
    return {};
}

} // namespace

bool AutomationPlan::scriptedAnswers() const {
    for (const AutomationStep &s : steps)
        if (s.kind == AutomationStep::Kind::Answer)
            return true;
    return false;
}

bool AutomationPlan::firstAnswer() const {
    for (const AutomationStep &s : steps)
        if (s.kind == AutomationStep::Kind::Answer)
            return s.value == QLatin1String("yes");
    // Unattended runs never confirm a question they were not told to answer.
    return false;
}

AutomationPlan Automation::parse(const QStringList &args) {
    AutomationPlan plan;
    QString checkOption; // the last option given that only --check-mirroring takes
    bool formatGiven = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &opt = args.at(i);
        const Option *found = findOption(opt == QLatin1String("-h") ? QStringLiteral("--help") : opt);
        if (!found) {
            plan.error = QStringLiteral("unknown option '%1'").arg(opt);
            return plan;
        }
        if (!found->step) {
            const QLatin1String flag(found->name);
            if (*found->value) {
                if (i + 1 >= args.size()) {
                    plan.error = QStringLiteral("%1 needs a value").arg(opt);
                    return plan;
                }
                plan.error = applySetting(plan, opt, args.at(++i));
                if (!plan.error.isEmpty())
                    return plan;
                if (flag == QLatin1String("--trust-certificate") ||
                    flag == QLatin1String("--password-stdin")) // the window's and the check's
                    continue;
                if (flag == QLatin1String("--format"))
                    formatGiven = true;
                else if (flag != QLatin1String("--journal-dir"))
                    checkOption = opt;
                continue;
            }
            plan.headless = plan.headless || flag == QLatin1String("--headless");
            plan.version = plan.version || flag == QLatin1String("--version");
            plan.help = plan.help || flag == QLatin1String("--help");
            plan.checkMirroring = plan.checkMirroring || flag == QLatin1String("--check-mirroring");
            continue;
        }
        if (i + 1 >= args.size()) {
            plan.error = QStringLiteral("%1 needs a value").arg(opt);
            return plan;
        }
        const QString arg = args.at(++i);
        AutomationStep step{*found->step, opt + QLatin1Char(' ') + arg, arg, QString()};
        if (step.kind == Kind::Set || step.kind == Kind::Select) {
            if (!splitAssignment(arg, step.name, step.value)) {
                plan.error =
                    QStringLiteral("%1 takes %2, not '%3'").arg(opt, QLatin1String(found->value), arg);
                return plan;
            }
        } else if (step.kind == Kind::Answer) {
            if (arg != QLatin1String("yes") && arg != QLatin1String("no")) {
                plan.error = QStringLiteral("--answer takes yes or no, not '%1'").arg(arg);
                return plan;
            }
            step.name.clear();
            step.value = arg;
        }
        if (step.kind != Kind::Answer && step.name.isEmpty()) {
            plan.error = QStringLiteral("%1 needs a name").arg(opt);
            return plan;
        }
        plan.steps.push_back(step);
    }
    plan.error = combinationProblem(plan, checkOption, formatGiven);
    return plan;
}

QString Automation::validate(const AutomationPlan &plan, const frmMain &window) {
    if (!plan.error.isEmpty())
        return plan.error;
    for (const AutomationStep &step : plan.steps) {
        const QString problem = checkStep(step, window);
        if (!problem.isEmpty())
            return problem;
    }
    return {};
}

int Automation::run(const AutomationPlan &plan, frmMain &window) {
    int status = 0;
    const int failuresBefore = window.sessions().failures();
    for (const AutomationStep &step : plan.steps) {
        window.readRestoreDirNow();
        if (!runStep(step, window, plan.json))
            status = 1;
        QCoreApplication::processEvents();
        // For scripts the checklist is a record of its own; the log carries it as lines.
        if (plan.json && step.kind == Kind::Click && step.name == QLatin1String("cmdPreflight"))
            out(stdout, compact(status::checklistJson(window.preflight().lastChecks())));
    }
    // A dry run's answer is its script (beside the JSON records, with the log), its statements' passwords
    // masked as in the log; --save-script keeps the real text, in a file for its owner only.
    if (window.form().chkScriptOnly->isChecked()) {
        QString script = maskStatementPasswords(scriptOnly().script());
        script.chop(1); // its last line end
        if (!script.isEmpty())
            out(plan.json ? stderr : stdout, script);
    }
    // The tool carries on past a failed statement, but a scheduled run must not pass it off as success.
    const int failed = window.sessions().failures() - failuresBefore;
    if (failed > 0) {
        out(stderr, QStringLiteral("%1 server command(s) failed: see the log").arg(failed));
        if (status == 0)
            status = 3;
    }
    return status;
}

QString Automation::readRunPasswords(AutomationPlan &plan) {
    static const char *const variables[2] = {"QUORIX_MAIN_PW", "QUORIX_MIRROR_PW"};
    for (const int slot : plan.passwordStdinSlots) {
        std::string line;
        int c = 0;
        while ((c = std::fgetc(stdin)) != EOF && c != '\n')
            line.push_back(static_cast<char>(c));
        if (c == EOF && line.empty())
            return QStringLiteral("--password-stdin %1: standard input ended before its password").arg(slot);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        plan.passwords[static_cast<size_t>(slot)] = QString::fromStdString(line);
    }
    for (int slot = 0; slot < 2; ++slot)
        if (!plan.passwords[static_cast<size_t>(slot)] && qEnvironmentVariableIsSet(variables[slot]))
            plan.passwords[static_cast<size_t>(slot)] = qEnvironmentVariable(variables[slot]);
    return {};
}

QString Automation::usage(const QString &programName) {
    QString text =
        QStringLiteral("usage: %1 [--headless] [options run in order after start-up]\n").arg(programName);
    for (const Option &o : kOptions) {
        const QString left =
            QLatin1String(o.name) + (*o.value ? QLatin1Char(' ') + QLatin1String(o.value) : QString());
        text += QStringLiteral("  ") + left.leftJustified(24) + QLatin1String(o.help) + QLatin1Char('\n');
    }
    return text +
           QStringLiteral("Names are control names, arrays with the index in parentheses: cmdBackup(0).");
}

QString Automation::version(const QString &programName) {
    return programName + QLatin1Char(' ') + QLatin1String(kVersion);
}

} // namespace quorix
