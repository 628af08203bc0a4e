#pragma once

// The real program run as a separate process with its own settings folder, headless. The including test
// defines QUORIX_EXE, the path of the program.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace quorix::testing {

struct ToolRun {
    int status = -1; // the exit code; -1 when it crashed or did not finish
    QString out;
    QString err;
};

// unset: variables removed from the environment after the test's own are set (say, to run with no display);
// set: "NAME=VALUE" variables added last; input: what the program reads on standard input, which then ends.
inline ToolRun runTool(const QStringList &args, const QString &configHome, int timeoutMs,
                       const QStringList &unset = {}, const QStringList &set = {},
                       const QByteArray &input = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", configHome);
    env.insert("XDG_DATA_HOME", configHome + "/data"); // the journal's default folder
    env.insert("QT_QPA_PLATFORM", "offscreen");
    for (const QString &name : unset)
        env.remove(name);
    for (const QString &variable : set)
        env.insert(variable.section('=', 0, 0), variable.section('=', 1));
    p.setProcessEnvironment(env);
    p.start(QUORIX_EXE, args);
    p.write(input);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(timeoutMs)) << args.join(' ').toStdString();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

} // namespace quorix::testing
