#include "app/Automation.h"
#include "app/StartupProbe.h"
#include "app/frmMain.h"
#include "ui/Echo.h"
#include "ui/Prompt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <cstdio>

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

} // namespace

int main(int argc, char *argv[]) {
    QElapsedTimer sinceMain;
    sinceMain.start();

    // The options are read before the application object exists: --help and --version need no display,
    // and the platform must be chosen before the application object is made.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const quorix::AutomationPlan plan = quorix::Automation::parse(args);
    const QString program = QFileInfo(QString::fromLocal8Bit(argv[0])).completeBaseName();
    if (plan.help) {
        std::printf("%s\n", qPrintable(quorix::Automation::usage(program)));
        return 0;
    }
    if (plan.version) {
        std::printf("%s\n", qPrintable(quorix::Automation::version(program)));
        return 0;
    }
    if (!plan.error.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n%s\n", qPrintable(program), qPrintable(plan.error),
                     qPrintable(quorix::Automation::usage(program)));
        return 2;
    }
    if (plan.headless && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!plan.headless && !displayAvailable()) {
        std::fprintf(stderr, "no display: run it under xvfb-run, or with --headless\n");
        return 2;
    }

    QApplication app(argc, argv);
    // On Wayland the task bar finds the icon through the desktop entry of this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("quorix-dbtools"));
    quorix::frmMain window;
    app.setWindowIcon(window.windowIcon()); // message boxes too
    // Every option is checked against the real controls before anything runs.
    const QString problem = quorix::Automation::validate(plan, window);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n%s\n", qPrintable(program), qPrintable(problem),
                     qPrintable(quorix::Automation::usage(program)));
        return 2;
    }

    if (plan.headless) {
        quorix::Echo::setEnabled(true);
        quorix::Prompt::setScripted(true, plan.firstAnswer());
    } else if (plan.scriptedAnswers()) {
        quorix::Prompt::setScripted(true, plan.firstAnswer());
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
