// CPU cost of one read transaction: request built, sent, reply received in
// two reads, checked and converted. The device answers at once from a reply
// prepared in advance, so only the driver's own work is measured.

#include <benchmark/benchmark.h>

#include <cstring>

#include "driver/modbus_rtu_slave_over_tcp.h"

namespace {

const int Station = 1;

// Modbus CRC-16, low byte first on the wire.
void appendCrc(QByteArray &frame)
{
    unsigned short crc = 0xFFFF;
    for (char byte : frame) {
        crc ^= (unsigned char)byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (unsigned short)((crc >> 1) ^ 0xA001) : (unsigned short)(crc >> 1);
    }
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
}

// A reply of `function` carrying `dataBytes` bytes of data.
QByteArray reply(unsigned char function, int dataBytes)
{
    QByteArray frame;
    frame.append(char(Station));
    frame.append(char(function));
    frame.append(char(dataBytes));
    for (int i = 0; i < dataBytes; ++i)
        frame.append(char(0x11 * (i + 1)));
    appendCrc(frame);
    return frame;
}

// Answers every request with the same prepared reply, without looking at it.
class InstantDevice : public AbstractDeviceInterface
{
public:
    explicit InstantDevice(const QByteArray &reply) : m_reply(reply) {}

    int readData(char *data, int maxlen) override
    {
        const int n = qMin(maxlen, m_reply.size() - m_position);
        memcpy(data, m_reply.constData() + m_position, size_t(n));
        m_position += n;
        return n;
    }
    int writeData(const char *, int len) override
    {
        m_position = 0;
        return len;
    }
    bool open() override { return true; }
    void close() override {}
    DeviceSetting *deviceSetting() const override { return nullptr; }
    bool isOpen() const override { return true; }
    int retryCount() const override { return 0; }
    int stationId() const override { return Station; }
    unsigned long delayTime() const override { return 0; }
    QString errorString() const override { return QString(); }

private:
    QByteArray m_reply;
    int m_position = 0;
};

const QByteArray HoldingRegisters("HR");
const QByteArray DiscreteInputs("DI");

void checkOutcome(benchmark::State &state, DriverModbusRtuSlaveOverTcp &driver, int size, int expected)
{
    if (driver.hasError() || size != expected)
        state.SkipWithError("the transaction failed");
}

void BM_ReadWords(benchmark::State &state)
{
    const int count = int(state.range(0));
    InstantDevice device(reply(3, 2 * count));
    DriverModbusRtuSlaveOverTcp driver;
    int size = 0;
    for (auto _ : state) {
        const QByteArray data = driver.readWords(&device, HoldingRegisters, 99, count);
        size = data.size();
        benchmark::DoNotOptimize(data.constData());
    }
    checkOutcome(state, driver, size, 2 * count);
}
BENCHMARK(BM_ReadWords)->Arg(1)->Arg(2);

void BM_ReadDWords(benchmark::State &state)
{
    InstantDevice device(reply(3, 4));
    DriverModbusRtuSlaveOverTcp driver;
    int size = 0;
    for (auto _ : state) {
        const QByteArray data = driver.readDWords(&device, HoldingRegisters, 99, 1, true);
        size = data.size();
        benchmark::DoNotOptimize(data.constData());
    }
    checkOutcome(state, driver, size, 4);
}
BENCHMARK(BM_ReadDWords);

void BM_ReadDIDOs(benchmark::State &state)
{
    InstantDevice device(reply(2, 2));
    DriverModbusRtuSlaveOverTcp driver;
    int size = 0;
    for (auto _ : state) {
        const QByteArray data = driver.readDIDOs(&device, DiscreteInputs, 0, 10);
        size = data.size();
        benchmark::DoNotOptimize(data.constData());
    }
    checkOutcome(state, driver, size, 2);
}
BENCHMARK(BM_ReadDIDOs);

} // namespace

BENCHMARK_MAIN();
