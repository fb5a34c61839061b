#ifndef HOST_E2E_TOOL_PROCESS_H
#define HOST_E2E_TOOL_PROCESS_H

// Runs mbrtu as a program and collects what it said.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

struct ToolRun
{
    bool finished = false; // false: it hung and was killed
    bool crashed = false;
    int exitCode = -1;
    QString out;
    QString err;
};

// A generous bound for a hang; no test relies on how fast mbrtu is.
constexpr int kToolHangLimitMs = 60000;

inline ToolRun runTool(const QStringList &arguments,
                       const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(MBRTU_TOOL_PATH), arguments);
    ToolRun run;
    run.finished = process.waitForFinished(kToolHangLimitMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
    }
    run.crashed = process.exitStatus() == QProcess::CrashExit;
    run.exitCode = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

// Waits until the process has printed text on stdout (kept in seen).
inline bool waitForOutput(QProcess &process, const QString &text, QString *seen)
{
    while (!seen->contains(text)) {
        if (!process.waitForReadyRead(kToolHangLimitMs))
            return false;
        *seen += QString::fromLocal8Bit(process.readAllStandardOutput());
    }
    return true;
}

#endif // HOST_E2E_TOOL_PROCESS_H
