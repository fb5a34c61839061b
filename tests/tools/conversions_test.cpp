// Scalar conversions, request predicates, bit expansion, zero filling, the
// pieces of address texts, hexadecimal text, the process probe, the byte dump, and millisecond sleeps
// that survive signals, on the monotonic clock.

#include "tools_test.h"

#include <atomic>
#include <chrono>
#include <climits>
#include <csignal>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(Conversions, ScalarsPredicatesBitsAndFilling)
{
    // One byte is unsigned even for the signed form; bytes past the width are ignored.
    const struct { const char *bytes; int asInt; unsigned short asWord; short asShort; } rows[] = {
        {"", 0, 0, 0}, {"3412", 0x1234, 0x1234, 0x1234}, {"0080", 0x8000, 0x8000, SHRT_MIN}, {"FF", 0xFF, 0xFF, 255},
        {"FFFFFF", 0xFFFFFF, 0xFFFF, -1}, {"FFFFFFFF", -1, 0xFFFF, -1}, {"0102030405", 0x4030201, 0x201, 0x201}};
    for (const auto &row : rows) {
        const QByteArray bytes = hex(row.bytes);
        EXPECT_EQ(std::make_tuple(QByteArrayToInt(bytes), QByteArrayToWord(bytes), QByteArrayToShort(bytes)),
                  std::make_tuple(row.asInt, row.asWord, row.asShort)) << row.bytes;
    }
    EXPECT_EQ(wordToByteArray(0xFFFE) + shortToByteArray(SHRT_MIN) + intToByteArray(int(0x80563412)),
              hex("FE FF 00 80 12 34 56 80"));
    // Each predicate accepts exactly its data type code; 4 and the second bit kind 6 have none.
    bool (*const predicates[])(const CommunicatorCommand &) = {
        isBitCommand, isByteCommand, isWordCommand, isDoubleWordCommand, isBlockCommand};
    for (int type = -1; type <= 7; ++type)
        for (int p = 0; p < 5; ++p)
            EXPECT_EQ(predicates[p](CommunicatorCommand(type, 1)), type == (p < 4 ? p : 5)) << type << " " << p;

    // The first bit, one byte per bit, and zeros up to a multiple of the width.
    EXPECT_EQ(std::make_tuple(getBitData(QByteArray()), getBitData(hex("03 00")), getBitData(hex("FE"))),
              std::make_tuple(false, true, false));
    // Across a byte boundary; bits past the array read as zero.
    const struct { const char *bits; unsigned short start; int count; const char *bytes; } expansions[] = {
        {"05", 0, 4, "01 00 01 00"}, {"80 01", 7, 3, "01 01 00"}, {"FF", 6, 4, "01 01 00 00"}, {"", 0, 2, "00 00"},
        {"FF", 65535, 1, "00"}, {"FF", 0, 0, ""}, {"FF", 0, -3, ""}};
    for (const auto &row : expansions)
        EXPECT_EQ(ExpandBitsToBytes(hex(row.bits), row.start, row.count), hex(row.bytes)) << row.bits;
    EXPECT_EQ(ExpandBitsToBytes(QByteArray::fromRawData("\x80\xFF", 1), 7, 2), hex("01 00")) << "the byte after the array is not read";
    const QByteArray bytes = ExpandBitsToBytes(hex("01"), 0, INT_MAX); // an absurd count is cut, not allocated
    EXPECT_EQ(std::make_pair(bytes.size(), bytes.count('\0')), std::make_pair(1 << 20, (1 << 20) - 1));
    const QByteArray data = hex("A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD");
    const struct { QByteArray (*fill)(const QByteArray &); int in; int out; } fills[] = {
        {To16bitsData, 0, 0}, {To16bitsData, 3, 4}, {To32bitsData, 4, 4}, {To32bitsData, 5, 8}, {To64bitsData, 13, 16}};
    for (const auto &row : fills)
        EXPECT_EQ(row.fill(data.left(row.in)), data.left(row.in) + QByteArray(row.out - row.in, '\0')) << row.in;
    EXPECT_EQ(reverseArray(data.left(3)), hex("A3 A2 A1"));

    // Address texts: the number from the first digit of the base on, 0 when
    // the rest does not convert or there is none, -1 for any other base; the
    // leading letters and underscores.
    const struct { const char *text; int base, number; const char *symbol; } addresses[] = {
        {"DO17", 10, 17, "DO"},   {"1-DI100", 10, 0, ""}, {"DI100", 16, 0, "DI"}, {"HR1A", 16, 0x1A, "HR"},
        {"X17", 8, 15, "X"},      {"X9", 8, 0, "X"},      {"DO17", 2, -1, "DO"},  {"DO17", 0, -1, "DO"},
        {"FN5_DO17", 10, 0, "FN"}, {"_X1", 10, 1, "_X"},  {"", 10, 0, ""},
    };
    for (const auto &row : addresses) {
        SCOPED_TRACE(testing::Message() << row.text << " base " << row.base);
        EXPECT_EQ(ExtractPLCDeviceAddress(QByteArray(row.text), row.base), row.number);
        EXPECT_EQ(ExtractPLCDeviceAddress(QString(row.text), row.base), row.number);
        EXPECT_EQ(ExtractPrefixSymbol(QString(row.text)), QByteArray(row.symbol));
    }
}

TEST(HexTextProcessesAndDumps, ParsingProbingAndFormatting)
{
    // An optional 0x or lone leading zero; the length or the terminator ends
    // the digits; digits beyond eight push the first out; one bad digit gives 0.
    const struct { const char *text; int length; unsigned int value; } rows[] = {
        {"0x1A", 4, 26}, {"1a", 2, 26}, {"7", 1, 7}, {"0X1f", 4, 31}, {"FFFFFFFF", 8, 0xFFFFFFFFu}, {"01f", 3, 31}, {"0x1A", 3, 1},
        {"123456789", 9, 0x23456789u}, {"12", 10, 0x12}, {"1G", 2, 0}, {"0x", 2, 0}, {"0", 1, 0}, {"0", 5, 0},
        {"0xg1", 4, 0}, {"", 5, 0}, {"abc", 0, 0}, {"abc", -1, 0}, {nullptr, 4, 0}};
    for (const auto &row : rows)
        EXPECT_EQ(HexToUInt(row.text, row.length), row.value) << (row.text ? row.text : "null") << " " << row.length;

    // Process 1 exists, whoever owns it. A reaped child, process groups,
    // every process, and an id that cut to 32 bits would be ours do not.
    EXPECT_TRUE(ProcessIsRunning(getpid()) && ProcessIsRunning(1));
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    for (long long pid : {(long long)child, 0LL, -1LL, -(long long)getpgrp(), (1LL << 32) + getpid()})
        EXPECT_FALSE(ProcessIsRunning(pid)) << pid;

    EXPECT_EQ(dumpByteArray(QByteArray()), QStringLiteral("() : "));
    EXPECT_EQ(dumpByteArray(hex("01 AB 10 41")), QString::fromLatin1("(0X1 0Xab 0X10 0X41 ) : \x01\xab\x10" "A"));
    EXPECT_EQ(dumpByteArray(hex("41 00 42 00")), QStringLiteral("(0X41 0X0 0X42 0X0 ) : A"));
}

static std::atomic<int> signalsCaught{0};

TEST(Timing, HRSleepResumesAfterSignalsOnTheMonotonicClock)
{
    // A handler without SA_RESTART makes every timer signal end nanosleep with EINTR.
    struct sigaction action = {}, previous;
    action.sa_handler = [](int) { ++signalsCaught; };
    const itimerval every20ms = {{0, 20000}, {0, 20000}}, off = {};
    ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
    setitimer(ITIMER_REAL, &every20ms, nullptr);
    const qint64 start = CurrentMSecsSinceBoot();
    HRSleep(1005); // one second and 5 000 000 ns: a wrong split would make the nanoseconds invalid
    const qint64 elapsed = CurrentMSecsSinceBoot() - start;
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    EXPECT_GE(signalsCaught.load(), 2) << "the sleep was interrupted";
    EXPECT_GE(elapsed, 1005);
    // The clock is the standard library's steady clock in milliseconds.
    using namespace std::chrono;
    const auto steady = [] { return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count(); };
    const qint64 before = steady(), now = CurrentMSecsSinceBoot(), after = steady();
    EXPECT_TRUE(before <= now && now <= after) << before << " " << now << " " << after;
}
