#include "core/audit/Journal.h"
#include "core/db/secure/FreeTdsConf.h"
#include "core/settings/SettingsStore.h"
#include "gui/app/Automation.h"
#include "gui/app/MirroringCheckRun.h"
#include "gui/app/StartupProbe.h"
#include "gui/app/frmMain.h"
#include "gui/ui/Echo.h"
#include "gui/ui/Prompt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <cstdio>
#ifdef _WIN32
#include <cstdlib>
#include <windows.h>
#endif

namespace {

// Whether a window can be shown: on X11/Wayland systems a display must be named, or Qt aborts with a
// message about its platform plugin. An explicit QT_QPA_PLATFORM is taken as the user's choice.
bool displayAvailable() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

#ifdef _WIN32
// A window program gets no console of its own: started from one (cmd, PowerShell), it prints there. Output
// sent to a file or a pipe comes with its handles and is left as it is.
void printToParentConsole() {
    const auto given = [](DWORD which) { return GetFileType(GetStdHandle(which)) != FILE_TYPE_UNKNOWN; };
    const bool out = given(STD_OUTPUT_HANDLE);
    const bool err = given(STD_ERROR_HANDLE);
    if ((out && err) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (!out)
        std::freopen("CONOUT$", "w", stdout);
    if (!err)
        std::freopen("CONOUT$", "w", stderr);
    // What the program prints is UTF-8, as on Linux; the console gets its code page back at the end.
    static const UINT codePage = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    std::atexit([] { SetConsoleOutputCP(codePage); });
}

QByteArray systemFontFolder() {
    wchar_t windows[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return "C:\\Windows\\Fonts";
    return (QString::fromWCharArray(windows, static_cast<qsizetype>(length)) + QStringLiteral("\\Fonts"))
        .toLocal8Bit();
}
#endif

// The options as typed. On Windows argv holds them in the ANSI code page, which loses every character it
// cannot show (a Cyrillic database name on a Western machine); the wide command line keeps them.
QStringList arguments(int argc, char *argv[]) {
    QStringList args;
#ifdef _WIN32
    int count = 0;
    if (LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i)
            args << QString::fromWCharArray(wide[i]);
        LocalFree(wide);
        return args;
    }
#endif
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

} // namespace

int main(int argc, char *argv[]) {
    QElapsedTimer sinceMain;
    sinceMain.start();
#ifdef _WIN32
    printToParentConsole();
#endif
    // Before anything asks the toolkit for a folder: under a daemon with no HOME, the settings, the driver's
    // configuration and the trusted certificates all come from the account's home.
    quorix::settleUserHome();

    // The options are read before the application object exists: --help and --version need no display,
    // and the platform must be chosen before the application object is made.
    const QStringList args = arguments(argc, argv);
    quorix::AutomationPlan plan = quorix::Automation::parse(args);
    const QString program = QFileInfo(QString::fromLocal8Bit(argv[0])).completeBaseName();
    if (plan.help) {
        std::printf("%s\n", qPrintable(quorix::Automation::usage(program)));
        return 0;
    }
    if (plan.version) {
        std::printf("%s\n", qPrintable(quorix::Automation::version(program)));
        return 0;
    }
    // Passwords come in before anything else reads standard input.
    if (plan.error.isEmpty())
        plan.error = quorix::Automation::readRunPasswords(plan);
    // A monitoring system reads the check's first line and exit status, whatever went wrong.
    if (plan.checkMirroring || args.contains(QStringLiteral("--check-mirroring"))) {
        if (!plan.error.isEmpty()) {
            std::printf("MIRRORING UNKNOWN - %s\n", qPrintable(plan.error));
            std::fprintf(stderr, "%s\n", qPrintable(quorix::Automation::usage(program)));
            return 3;
        }
        // No window and no display: the reads need no more than an application object.
        QCoreApplication app(argc, argv);
        quorix::prepareFreeTdsConfiguration();
        return quorix::runMirroringCheck(plan);
    }
    if (!plan.error.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n%s\n", qPrintable(program), qPrintable(plan.error),
                     qPrintable(quorix::Automation::usage(program)));
        return 2;
    }
    if (plan.headless && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef _WIN32
        // The offscreen platform draws text with the fonts of one folder, by default one beside Qt's
        // libraries, which an installed program does not have: without the system's fonts every
        // character of a screenshot would be a box.
        if (!qEnvironmentVariableIsSet("QT_QPA_FONTDIR"))
            qputenv("QT_QPA_FONTDIR", systemFontFolder());
#endif
    }
    if (!plan.headless && !displayAvailable()) {
        std::fprintf(stderr, "no display: run it under xvfb-run, or with --headless\n");
        return 2;
    }

    QApplication app(argc, argv);
    // Before any connection's thread reads it: where FreeTDS finds the certificate checks.
    quorix::prepareFreeTdsConfiguration();
    // On Wayland the task bar finds the icon through the desktop entry of this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("quorix-dbtools"));
    quorix::frmMain window;
    app.setWindowIcon(window.windowIcon()); // message boxes too
    if (!plan.journalDir.isEmpty())
        window.journal().setFolder(plan.journalDir);
    // Every option is checked against the real controls before anything runs.
    const QString problem = quorix::Automation::validate(plan, window);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n%s\n", qPrintable(program), qPrintable(problem),
                     qPrintable(quorix::Automation::usage(program)));
        return 2;
    }

    // With JSON records on stdout, the log and the message boxes' texts go to stderr.
    quorix::Echo::setLogToStderr(plan.json);
    if (plan.headless) {
        quorix::Echo::setEnabled(true);
        quorix::Prompt::setScripted(true, plan.firstAnswer());
    } else if (plan.scriptedAnswers()) {
        quorix::Prompt::setScripted(true, plan.firstAnswer());
    }

    for (int slot = 0; slot < 2; ++slot) {
        if (!plan.trustedFingerprints[static_cast<size_t>(slot)].isEmpty())
            window.acceptFingerprint(slot, plan.trustedFingerprints[static_cast<size_t>(slot)]);
        if (const auto &password = plan.passwords[static_cast<size_t>(slot)])
            window.useRunPassword(slot, *password);
    }
    const bool probe = quorix::StartupProbe::requested();
    if (probe)
        quorix::StartupProbe::watch(window, sinceMain);
    window.Form_Load();
    if (probe) {
        quorix::StartupProbe::loaded(sinceMain);
        return 0;
    }

    const int status = quorix::Automation::run(plan, window);
    if (plan.headless)
        return status;
    return app.exec();
}
