#include "app/Automation.h"
#include "app/StartupProbe.h"
#include "app/frmMain.h"
#include "ui/Echo.h"
#include "ui/Prompt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstring>

int main(int argc, char *argv[]) {
    QElapsedTimer sinceMain;
    sinceMain.start();

    // The platform must be chosen before the application object exists.
    bool headless = false;
    for (int i = 1; i < argc; ++i)
        headless = headless || std::strcmp(argv[i], "--headless") == 0;
    if (headless && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    const quorix::AutomationPlan plan = quorix::Automation::parse(app.arguments().mid(1));
    if (plan.help) {
        std::printf("%s\n", qPrintable(quorix::Automation::usage()));
        return 0;
    }

    quorix::frmMain window;
    // Every option is checked against the real controls before anything runs.
    const QString problem = quorix::Automation::validate(plan, window);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n%s\n", qPrintable(QCoreApplication::applicationName()),
                     qPrintable(problem), qPrintable(quorix::Automation::usage()));
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
