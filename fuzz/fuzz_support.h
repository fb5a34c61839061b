#ifndef FUZZ_SUPPORT_H
#define FUZZ_SUPPORT_H

// Helpers every fuzz target shares: failing a run on a broken property, an
// independent CRC and the application object.

#include <QByteArray>
#include <QString>

// Prints the message and aborts, which libFuzzer reports as a crash.
[[noreturn]] void fuzzFail(const char *format, ...) __attribute__((format(printf, 1, 2)));
#define FUZZ_CHECK(condition, ...)                                                             \
    do {                                                                                       \
        if (!(condition))                                                                      \
            fuzzFail(__VA_ARGS__);                                                             \
    } while (0)

// Modbus CRC-16 computed bit by bit (reflected 0xA001, initial 0xFFFF); the
// driver's table-driven one is what the fuzzing checks against it.
unsigned short bitwiseCrc16(const char *data, int length);
// True when the last two bytes are the CRC of the bytes before them, low byte first.
bool hasValidCrc(const QByteArray &frame);

// True when MBRTU_FUZZ_TRACE is set: the targets then print what each input
// did, to check seeds and to follow a crashing input.
bool fuzzTrace();

// The QCoreApplication every target runs under, as the driver does inside the
// runtime; debug and warning output is dropped so that runs stay readable.
void startApplication(const char *argv0);

#endif // FUZZ_SUPPORT_H
