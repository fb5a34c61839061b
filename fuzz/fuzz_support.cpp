#include "fuzz_support.h"

#include <QCoreApplication>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void fuzzFail(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    fputs("fuzz property broken: ", stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
    abort();
}

void startApplication(const char *argv0)
{
    // The application object keeps argc and argv; the process's argv[0] stays.
    static int argc = 1;
    static char *argv[] = {const_cast<char *>(argv0), nullptr};
    // Only a fatal message is printed; the framework aborts after it.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtFatalMsg)
            fprintf(stderr, "%s\n", qPrintable(message));
    });
    new QCoreApplication(argc, argv); // lives as long as the process
}
