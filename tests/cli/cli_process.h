// Runs quellaton-cli (path from QUELLATON_CLI) as a script would, and keeps what it printed.
#pragma once

#include <QJsonDocument>
#include <QProcess>
#include <QStringList>

struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QJsonDocument json() const { return QJsonDocument::fromJson(out); }
};

inline CliRun RunCli(const QStringList& args, int timeoutMs = 120000) {
    QProcess process;
    process.setProgram(qEnvironmentVariable("QUELLATON_CLI"));
    process.setArguments(args);
    process.start();
    CliRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(2000);
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}
