#ifndef HOST_E2E_TOOL_PROCESS_H
#define HOST_E2E_TOOL_PROCESS_H

// Runs mbrtu as a program and collects what it said.

#include <QProcess>
#include <QString>
#include <QStringList>

struct ToolRun
{
    int exitCode = -1; // -1 also when it crashed or hung and was killed
    QString out;
    QString err;
};

// A generous bound for a hang; no test relies on how fast mbrtu is.
constexpr int kToolHangLimitMs = 60000;

inline ToolRun runTool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(MBRTU_TOOL_PATH), arguments);
    ToolRun run;
    if (!process.waitForFinished(kToolHangLimitMs)) {
        process.kill();
        process.waitForFinished();
    } else if (process.exitStatus() == QProcess::NormalExit) {
        run.exitCode = process.exitCode();
    }
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

// Terminates a long-running mbrtu and collects the rest of its output.
inline bool terminateAndWait(QProcess &process, QString *seen)
{
    process.terminate();
    const bool finished = process.waitForFinished(kToolHangLimitMs);
    *seen += QString::fromLocal8Bit(process.readAllStandardOutput());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

#endif // HOST_E2E_TOOL_PROCESS_H
