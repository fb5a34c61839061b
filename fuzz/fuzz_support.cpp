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

unsigned short bitwiseCrc16(const char *data, int length)
{
    unsigned short crc = 0xFFFF;
    for (int i = 0; i < length; ++i) {
        crc ^= (unsigned char)data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (unsigned short)((crc >> 1) ^ 0xA001) : (unsigned short)(crc >> 1);
    }
    return crc;
}

bool hasValidCrc(const QByteArray &frame)
{
    if (frame.size() < 2)
        return false;
    const unsigned short crc = bitwiseCrc16(frame.constData(), frame.size() - 2);
    return (unsigned char)frame.at(frame.size() - 2) == (crc & 0xFF)
           && (unsigned char)frame.at(frame.size() - 1) == (crc >> 8);
}

bool fuzzTrace()
{
    static const bool trace = qEnvironmentVariableIsSet("MBRTU_FUZZ_TRACE");
    return trace;
}

namespace {

void dropMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        fprintf(stderr, "%s\n", qPrintable(message));
        abort();
    }
}

} // namespace

void startApplication(const char *argv0)
{
    static char name[4096];
    static char *argv[] = {name, nullptr};
    static int argc = 1;
    if (QCoreApplication::instance())
        return;
    snprintf(name, sizeof name, "%s", argv0);
    qInstallMessageHandler(dropMessages);
    new QCoreApplication(argc, argv); // lives as long as the process
}
