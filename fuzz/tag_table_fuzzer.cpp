// Contents of the project's tag table through the driver's database gate.
// Every input is written as the rows of custom_tag_table into the project
// database, and a new driver loads it.
//
// Input: text lines, one tag address each (UTF-8). A line starting with '#'
// belongs to another link (connector 2) and must be ignored; a first line
// "@n" makes n the station id of the link's default node (default 1).
//
// Besides surviving the load, the driver must have taken every tag whose
// address is plainly a coil or input of a station: [station-]DI|DO|FN5DO
// followed by a number from 1 to 65536, the station being 0 to 255. One such
// station and area is read back with a sparse byte read over the span of its
// addresses from a device that answers every bit with 1: each of those
// addresses must come back set.

#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "driver/rtu_frame.h"
#include "fuzz_input.h"
#include "fuzz_project.h"
#include "fuzz_support.h"

namespace {

ProjectDatabase *project = nullptr;

// Answers every coil or input read of its station with all bits set.
class AllOnesDevice : public AbstractDeviceInterface
{
public:
    explicit AllOnesDevice(int station)
        : m_station(station), m_setting(DEVICE_TYPE_SERIAL, QStringLiteral("COM2"), 9600, 8, 1, 0)
    {
    }
    int readData(char *data, int maxlen) override
    {
        const int count = qMin(maxlen, m_reply.size());
        memcpy(data, m_reply.constData(), size_t(count));
        m_reply.remove(0, count);
        return count;
    }
    int writeData(const char *data, int len) override
    {
        const QByteArray request(data, len);
        FUZZ_CHECK(len == 8 && hasValidCrc(request), "a sparse read sent a bad request");
        const unsigned char function = (unsigned char)request.at(1);
        FUZZ_CHECK(function == 1 || function == 2, "a sparse read sent function %u", function);
        const int quantity = (unsigned char)request.at(4) << 8 | (unsigned char)request.at(5);
        const int bytes = (quantity + 7) / 8;
        m_reply = request.left(2);
        m_reply.append(char(bytes));
        m_reply.append(bytes, char(0xFF));
        const unsigned short crc = bitwiseCrc16(m_reply.constData(), m_reply.size());
        m_reply.append(char(crc & 0xFF));
        m_reply.append(char(crc >> 8));
        ++requests;
        return len;
    }
    bool open() override { return true; }
    void close() override {}
    DeviceSetting *deviceSetting() const override { return &m_setting; }
    bool isOpen() const override { return true; }
    int retryCount() const override { return 0; }
    int stationId() const override { return m_station; }
    unsigned long delayTime() const override { return 0; }
    QString errorString() const override { return QStringLiteral("no link"); }

    int requests = 0;

private:
    int m_station;
    QByteArray m_reply;
    mutable DeviceSetting m_setting;
};

struct Key
{
    int station;
    bool coils;
    bool operator<(const Key &other) const
    {
        return station != other.station ? station < other.station : coils < other.coils;
    }
};

// The tags whose meaning is beyond doubt, by station and area, zero-based.
QMap<Key, QSet<int>> plainBitTags(const QList<TagRow> &rows, int defaultStation)
{
    static const QRegularExpression plain(
        QStringLiteral("^(?:(\\d{1,3})-)?(FN5DO|DO|DI)(\\d{1,5})$"),
        QRegularExpression::CaseInsensitiveOption);
    QMap<Key, QSet<int>> tags;
    for (const TagRow &row : rows) {
        const QRegularExpressionMatch match = plain.match(row.address);
        if (row.connectorId != 1 || !match.hasMatch())
            continue;
        const int station = match.captured(1).isEmpty() ? defaultStation & 0xFF
                                                        : match.captured(1).toInt();
        const int number = match.captured(3).toInt();
        if (station > 255 || number < 1 || number > 65536)
            continue;
        const bool coils = match.captured(2).compare(QLatin1String("DI"), Qt::CaseInsensitive) != 0;
        tags[Key{station, coils}].insert(number - 1);
    }
    return tags;
}

void checkReadBack(DriverModbusRtuSlaveOverTcp &driver, const Key &key, const QSet<int> &addresses,
                   int rowCount)
{
    const int low = *std::min_element(addresses.begin(), addresses.end());
    const int high = *std::max_element(addresses.begin(), addresses.end());
    const int start = low - low % 8;
    const int bytes = (high - start) / 8 + 1;
    AllOnesDevice device(key.station);
    const QByteArray bits = key.coils ? driver.readBytesFromDO(&device, (unsigned short)start, bytes)
                                      : driver.readBytesFromDI(&device, (unsigned short)start, bytes);
    FUZZ_CHECK(!driver.hasError(), "reading back %s of station %d failed: %s",
               key.coils ? "DO" : "DI", key.station, qPrintable(driver.getLastError()));
    FUZZ_CHECK(bits.size() == bytes, "reading back %d bytes gave %d", bytes, bits.size());
    // Each request covers a run of configured addresses, and each row
    // configures at most one.
    FUZZ_CHECK(device.requests <= rowCount, "%d requests for %d tag rows", device.requests,
               rowCount);
    for (int address : addresses) {
        const int i = address - start;
        FUZZ_CHECK((bits.at(i / 8) >> (i % 8)) & 1, "the tag %s%d of station %d was not loaded",
                   key.coils ? "DO" : "DI", address + 1, key.station);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***argv)
{
    startApplication((*argv)[0]);
    project = new ProjectDatabase;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    FuzzInput input(bytes, size);
    QList<QByteArray> lines = input.rest().split('\n');
    int defaultStation = 1;
    if (!lines.isEmpty() && lines.first().startsWith('@'))
        defaultStation = lines.takeFirst().mid(1).toInt();
    QList<TagRow> rows;
    for (const QByteArray &line : lines) {
        if (line.startsWith('#'))
            rows.append(TagRow{QString::fromUtf8(line.mid(1)), 2});
        else
            rows.append(TagRow{QString::fromUtf8(line), 1});
    }
    project->write(defaultStation, rows);

    {
        DriverModbusRtuSlaveOverTcp driver;
        FUZZ_CHECK(driver.readDB(QStringLiteral("COM2")), "the project does not load: %s",
                   qPrintable(driver.getLastError()));
        FUZZ_CHECK(!driver.hasError(), "a load with the error flag set");
        const QMap<Key, QSet<int>> tags = plainBitTags(rows, defaultStation);
        if (!tags.isEmpty()) {
            // One station and area per input keeps the runs short; the input picks it.
            const int pick = int(size % unsigned(tags.size()));
            const Key key = (tags.begin() + pick).key();
            checkReadBack(driver, key, (tags.begin() + pick).value(), rows.size());
            if (fuzzTrace())
                fprintf(stderr, "%d rows; %s of station %d read back: %d tags\n", rows.size(),
                        key.coils ? "DO" : "DI", key.station, (tags.begin() + pick).value().size());
        } else if (fuzzTrace()) {
            fprintf(stderr, "%d rows, none plainly a coil or input\n", rows.size());
        }
    }
    removeDatabaseConnections();
    return 0;
}
