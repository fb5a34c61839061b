// Failures as the pymodbus slave causes them: exception replies for requests
// outside its map or above its quantity limits, and silence for a station it
// does not serve.

#include "interop_fixture.h"

#include <QElapsedTimer>
#include <vector>

namespace {

struct ExceptionCase
{
    int station;
    bool isWrite;
    int type;
    const char *address;
    int count;
    int exceptionCode; // what the slave answers
};

// The driver's description of a failed request: none for blocks and the
// second bit kind.
QString description(bool isWrite, int type, int count, int station, const QString &address)
{
    const char *unit = nullptr;
    switch (type) {
    case Bit:
        unit = "bit";
        break;
    case Byte:
        unit = "byte";
        break;
    case Word:
        unit = "word";
        break;
    case DWord:
        unit = "dword";
        break;
    default:
        return QString();
    }
    const QString format = isWrite ? QStringLiteral(" (write %1 %2 to %3-%4)") : QStringLiteral(" (read %1 %2(s) from %3-%4)");
    return format.arg(count).arg(QLatin1String(unit)).arg(station).arg(address);
}

// Data of the size a write command implies.
QByteArray dataFor(int type, int count)
{
    switch (type) {
    case Word:
        return QByteArray(2 * count, '\x5a');
    case DWord:
        return QByteArray(4 * count, '\x5a');
    case Bit:
    case Bit2:
        return QByteArray((count + 7) / 8, '\x5a');
    default:
        return QByteArray(count, '\x5a');
    }
}

class InteropErrors : public Interop
{
};

TEST_F(InteropErrors, ExceptionRepliesGiveTheExceptionCodeAndTheRequest)
{
    static_assert(kTableRegisters == 300 && kTableBits == 2100, "the cases below name the first address past the map");
    const ExceptionCase cases[] = {
        // outside the map: exception 2
        {kStation1, false, Word, "HR301", 1, 2},
        {kStation1, false, Word, "HR299", 5, 2},
        {kStation1, false, DWord, "IR300", 1, 2},
        {kStation1, false, Byte, "HR301", 2, 2},
        {kStation1, false, Block, "HR301", 2, 2},
        {kStation1, false, Bit, "HR301.3", 1, 2},
        {kStation1, false, Bit, "DI2101", 1, 2},
        {kStation1, false, Bit2, "DO2100", 2, 2},
        {kStation2, false, Word, "HR301", 1, 2},
        {kStation1, true, Word, "HR301", 1, 2},
        {kStation1, true, DWord, "HR300", 1, 2},
        {kStation1, true, Byte, "HR301", 3, 2},
        {kStation1, true, Word, "FN6HR301", 2, 2},
        {kStation1, true, Bit, "HR301.2", 1, 2},
        {kStation1, true, Bit, "FN6HR301.2", 1, 2},
        {kStation1, true, Bit, "DO2101", 1, 2},
        {kStation1, true, Bit, "FN5DO2101", 1, 2},
        {kStation2, true, Word, "HR301", 1, 2},
        // the driver lets through up to 2008 bits read and 1976 coils
        // written; the slave keeps to the protocol's 2000 and 1968:
        // exception 3
        {kStation1, false, Bit, "DI1", 2001, 3},
        {kStation1, false, Bit, "DO1", 2008, 3},
        {kStation1, true, Bit, "DO1", 1969, 3},
    };
    constexpr int kRetries = 1;
    for (const ExceptionCase &c : cases) {
        SCOPED_TRACE(testing::Message() << (c.isWrite ? "write" : "read") << " station " << c.station << " type "
                                        << c.type << " " << c.address << " x" << c.count);
        const QString address = QString::fromLatin1(c.address);
        Link link(linkSettings(port(), c.station, kRetries));
        if (c.isWrite) {
            EXPECT_FALSE(write(link, c.type, c.count, address, dataFor(c.type, c.count)));
        } else {
            EXPECT_TRUE(read(link, c.type, c.count, address).isEmpty());
        }
        EXPECT_TRUE(driver()->hasError());
        const QString code = QString::number(c.exceptionCode, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        const QString expected = QStringLiteral("exception code:0x") + code
            + description(c.isWrite, c.type, c.count, c.station, address);
        EXPECT_EQ(driver()->getLastError().toStdString(), expected.toStdString());

        // Every attempt got its exception in its first request; the link
        // stayed open throughout and still serves the next request.
        EXPECT_EQ(link.sentFrames().size(), size_t(kRetries + 1));
        const QByteArray next = read(link, Word, 2, QStringLiteral("HR1"));
        EXPECT_FALSE(driver()->hasError()) << lastError();
        EXPECT_EQ(next, wordsLE(tables(c.station).hr, 0, 2));
        EXPECT_EQ(link.device.connectCount(), 1);
    }
}

struct SilenceCase
{
    bool isWrite;
    int type;
    const char *address;
    int count;
};

TEST_F(InteropErrors, AStationTheSlaveDoesNotServeGetsNoResponseAfterTheRetries)
{
    const SilenceCase cases[] = {
        {false, Word, "HR1", 2},
        {false, Bit, "DI1", 8},
        {false, DWord, "IR5SW", 1},
        {true, Word, "HR151", 1},
        {true, Bit, "FN5DO301", 2},
        {true, Bit, "HR230.3", 1},
    };
    constexpr int kRetries = 1;
    constexpr int kTimeoutMs = 300;
    for (const SilenceCase &c : cases) {
        SCOPED_TRACE(testing::Message() << (c.isWrite ? "write" : "read") << " type " << c.type << " " << c.address
                                        << " x" << c.count);
        const QString address = QString::fromLatin1(c.address);
        Link link(linkSettings(port(), kSilentStation, kRetries, kTimeoutMs));
        QElapsedTimer clock;
        clock.start();
        if (c.isWrite)
            EXPECT_FALSE(write(link, c.type, c.count, address, dataFor(c.type, c.count)));
        else
            EXPECT_TRUE(read(link, c.type, c.count, address).isEmpty());
        const qint64 elapsed = clock.elapsed();

        EXPECT_TRUE(driver()->hasError());
        EXPECT_EQ(driver()->getLastError().toStdString(),
                  (QStringLiteral("PLC no response") + description(c.isWrite, c.type, c.count, kSilentStation, address))
                      .toStdString());
        // One request an attempt, each waited out; the link is closed after
        // a missing reply and reopened for the retry.
        const std::vector<QByteArray> frames = link.sentFrames();
        EXPECT_EQ(frames.size(), size_t(kRetries + 1));
        for (const QByteArray &frame : frames)
            EXPECT_EQ(requestHead(frame).station, kSilentStation);
        EXPECT_GE(elapsed, (kRetries + 1) * kTimeoutMs - 20);
        EXPECT_LT(elapsed, 10 * (kRetries + 1) * kTimeoutMs);
        EXPECT_EQ(link.device.connectCount(), kRetries + 1);
    }
}

} // namespace
