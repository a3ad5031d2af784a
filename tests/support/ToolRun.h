#pragma once
// Runs the built quorvel-tool (or another program) as a user would and collects what it said.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

struct CToolRun
{
    int exitCode = -1; // -1: it did not finish normally
    QString out;
    QString err;
};

// The environment of the test, with SOURCE_DATE_EPOCH set to the given value or removed.
inline QProcessEnvironment ToolEnvironment(const QString &sourceDateEpoch = QString())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("SOURCE_DATE_EPOCH"));
    if (!sourceDateEpoch.isEmpty())
        env.insert(QStringLiteral("SOURCE_DATE_EPOCH"), sourceDateEpoch);
    return env;
}

inline CToolRun RunProgram(const QString &program, const QStringList &args,
                           const QProcessEnvironment &env, const QString &workingDir = QString())
{
    QProcess process;
    if (!workingDir.isEmpty())
        process.setWorkingDirectory(workingDir);
    process.setProcessEnvironment(env);
    process.start(program, args);
    CToolRun run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

inline CToolRun RunTool(const QStringList &args, const QProcessEnvironment &env,
                        const QString &workingDir = QString())
{
    return RunProgram(QStringLiteral(QUORVEL_TOOL), args, env, workingDir);
}
