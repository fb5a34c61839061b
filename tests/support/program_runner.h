#ifndef PROGRAM_RUNNER_H
#define PROGRAM_RUNNER_H

// Programs run by the end-to-end tests: one run to its end with its status
// and output, or a long-running one (a slave, a proxy, a poll) that is
// watched for what it prints and stopped with SIGTERM.

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

constexpr int kHangLimitMs = 60000; // no test relies on how fast anything is

// mbrtu's application folder (its project database) of the test program's
// own, for every mbrtu it starts: a build tree's database is only ever the user's.
inline const bool kOwnMbrtuAppDir = [] {
    static const QTemporaryDir dir;
    return qputenv("MBRTU_APP_DIR", dir.path().toLocal8Bit());
}();

struct Outcome
{
    int status = -1; // -1: crashed or hung and killed
    QString out, err;
};

inline Outcome runProgram(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForFinished(kHangLimitMs);
    if (!finished)
        process.kill();
    process.waitForFinished();
    return {finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

// pattern is a regular expression whose . matches newlines too.
inline bool matches(const QString &text, const QString &pattern)
{
    return QRegularExpression(pattern, QRegularExpression::DotMatchesEverythingOption).match(text).hasMatch();
}

// Checks stdout and stderr against their patterns; an empty pattern means
// nothing printed.
inline void expectPrinted(const Outcome &run, const QString &out, const QString &err, const QString &what)
{
    for (const auto &[printed, expected] : {std::pair{run.out, out}, std::pair{run.err, err}})
        EXPECT_TRUE(expected.isEmpty() ? printed.isEmpty() : matches(printed, expected))
            << what.toStdString() << ": " << expected.toStdString() << " in:\n" << printed.toStdString();
}

// A program that runs until stopped; what it printed on stdout gathers in said.
struct Background
{
    bool start(const QString &program, const QStringList &arguments, const QString &readyPattern)
    {
        process.start(program, arguments);
        return waitFor(readyPattern);
    }
    // Waits until said matches pattern from position from on.
    bool waitFor(const QString &pattern, int from = 0)
    {
        const QRegularExpression wanted(pattern);
        while (!wanted.match(said, from).hasMatch() && process.waitForReadyRead(kHangLimitMs))
            said += QString::fromLocal8Bit(process.readAllStandardOutput());
        return wanted.match(said, from).hasMatch();
    }
    // The port of "listening on 127.0.0.1:PORT" in what it said, 0 when none.
    int listeningPort() const
    {
        return QRegularExpression(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)")).match(said).captured(1).toInt();
    }
    // Ends it with SIGTERM; its exit status, -1 when it crashed or hung.
    int stop()
    {
        process.terminate();
        const bool finished = process.waitForFinished(kHangLimitMs);
        said += QString::fromLocal8Bit(process.readAllStandardOutput());
        return finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    QProcess process;
    QString said;
};

#endif // PROGRAM_RUNNER_H
