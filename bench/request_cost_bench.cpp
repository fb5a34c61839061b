// CPU cost and heap allocations of one runtime request through the driver's
// read and write, in process, against a device that answers at once.
//
// The device answers every request with the reply the simulated slave's core
// gives for it, worked out the first time a request is seen and kept, so in
// the timed loop it only copies bytes: what is measured is the driver's own
// work (gate check, address parse, retry loop, framing, reply checks,
// conversion). The sparse DI read needs the valid bit address map, so a
// project database with ten runs of configured inputs is written below the
// application directory and the driver loads it through its gate on the
// first request.
//
// Each benchmark reports nanoseconds per request (Google Benchmark's time)
// and allocations per request (malloc, calloc and realloc calls counted by
// alloc_counter.h over the timed loop, divided by its iterations). The Cold
// ones time the same requests one at a time with the near caches filled with
// other data before each.

#include "alloc_counter.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "host/sim/sim_slave_core.h"
#include "support/project_files.h"

namespace {

const int Station = 1;
const QString LinkDevice = QStringLiteral("COM2");

// Ten runs of 20 configured inputs, 200 addresses apart, inside the 2,000
// inputs a 250-byte read from DI1 covers.
const int SparseRuns = 10;
const int SparseRunLength = 20;
const int SparseRunStride = 200;
const int SparseBytes = 250;
const int WriteRegisters = 123;

QStringList sparseInputTags()
{
    QStringList tags;
    for (int run = 0; run < SparseRuns; ++run) {
        for (int i = 0; i < SparseRunLength; ++i)
            tags.append(QStringLiteral("DI%1").arg(1 + run * SparseRunStride + i));
    }
    return tags;
}

// A device whose slave answers at once. Replies come from the slave core the
// first time a request is seen and are kept; later the same request bytes get
// the kept reply without any allocation, so the counts are the driver's.
class InstantSlaveDevice : public AbstractDeviceInterface
{
public:
    InstantSlaveDevice()
        : m_setting(new DeviceSetting(DEVICE_TYPE_ETHERNET, LinkDevice, 9600, 8, 0, 2)),
          m_stations(sim::makeStationSet({Station}))
    {
        // Discrete inputs all on, registers holding their own address.
        for (int i = 0; i < sim::kAddressSpace; ++i) {
            m_data.discreteInputs[size_t(i)] = 1;
            m_data.holdingRegisters[size_t(i)] = uint16_t(i);
        }
    }

    int readData(char *data, int maxlen) override
    {
        if (!m_reply)
            return 0;
        const int n = qMin(maxlen, m_reply->size() - m_position);
        memcpy(data, m_reply->constData() + m_position, size_t(n));
        m_position += n;
        return n;
    }

    int writeData(const char *data, int len) override
    {
        m_reply = nullptr;
        m_position = 0;
        for (const Exchange &known : m_known) {
            if (known.request.size() == len && memcmp(known.request.constData(), data, size_t(len)) == 0) {
                m_reply = &known.reply;
                return len;
            }
        }
        const QByteArray request(data, len);
        m_known.push_back(Exchange{request, sim::processRequest(m_data, m_stations, request)});
        m_reply = &m_known.back().reply;
        return len;
    }

    bool open() override { return true; }
    void close() override {}
    DeviceSetting *deviceSetting() const override { return m_setting.get(); }
    bool isOpen() const override { return true; }
    int retryCount() const override { return 0; }
    int stationId() const override { return Station; }
    unsigned long delayTime() const override { return 0; }
    QString errorString() const override { return QString(); }

    int distinctRequests() const { return int(m_known.size()); }

private:
    struct Exchange
    {
        QByteArray request;
        QByteArray reply;
    };

    std::unique_ptr<DeviceSetting> m_setting;
    sim::SlaveData m_data;
    sim::StationSet m_stations;
    // A deque keeps its elements in place as it grows.
    std::deque<Exchange> m_known;
    const QByteArray *m_reply = nullptr;
    int m_position = 0;
};

// Shared by all benchmarks: the map is loaded once, on the first request.
DriverModbusRtuSlaveOverTcp *g_driver = nullptr;
InstantSlaveDevice *g_device = nullptr;

bool failed(benchmark::State &state, bool ok, const char *what)
{
    if (ok)
        return false;
    const QString text = QStringLiteral("%1: %2").arg(QLatin1String(what), g_driver->getLastError());
    state.SkipWithError(text.toUtf8().constData());
    return true;
}

void reportAllocations(benchmark::State &state, std::uint64_t before)
{
    const std::uint64_t allocations = alloc_counter::count() - before;
    state.counters["allocs_per_request"] =
        benchmark::Counter(double(allocations) / double(state.iterations()));
}

// One read command, repeated; expectedBytes is the size of a good result.
void runRead(benchmark::State &state, const CommunicatorCommand &command, int expectedBytes)
{
    // Warm-up: the device learns the replies (and the gate has run).
    QByteArray data = g_driver->read(g_device, command);
    if (failed(state, !g_driver->hasError() && data.size() == expectedBytes, "warm-up read"))
        return;
    data.clear();
    bool ok = true;
    const std::uint64_t before = alloc_counter::count();
    for (auto _ : state) {
        QByteArray result = g_driver->read(g_device, command);
        ok = ok && !g_driver->hasError();
        benchmark::DoNotOptimize(result.constData());
    }
    reportAllocations(state, before);
    failed(state, ok, "read");
}

void BM_ReadWord(benchmark::State &state)
{
    runRead(state, CommunicatorCommand(2, 1, QStringLiteral("HR100")), 2);
}
BENCHMARK(BM_ReadWord);

void BM_ReadDoubleWord(benchmark::State &state)
{
    runRead(state, CommunicatorCommand(3, 1, QStringLiteral("HR100")), 4);
}
BENCHMARK(BM_ReadDoubleWord);

// 125 words, the most one function-3 request carries: a 255-byte reply.
void BM_ReadWords125(benchmark::State &state)
{
    runRead(state, CommunicatorCommand(2, 125, QStringLiteral("HR1")), 250);
}
BENCHMARK(BM_ReadWords125);

// 250 bytes of DI from DI1: ten function-2 requests, one per configured run.
void BM_ReadSparseDI(benchmark::State &state)
{
    runRead(state, CommunicatorCommand(1, SparseBytes, QStringLiteral("DI1")), SparseBytes);
    state.counters["transactions"] = benchmark::Counter(SparseRuns);
}
BENCHMARK(BM_ReadSparseDI);

// 123 words to HR1 in one function-16 request.
void BM_WriteRegisters123(benchmark::State &state)
{
    const CommunicatorCommand command(2, WriteRegisters, QStringLiteral("HR1"));
    QByteArray words(2 * WriteRegisters, '\0');
    for (int i = 0; i < words.size(); ++i)
        words[i] = char(i * 7);
    if (failed(state, g_driver->write(g_device, command, words), "warm-up write"))
        return;
    bool ok = true;
    const std::uint64_t before = alloc_counter::count();
    for (auto _ : state) {
        ok = g_driver->write(g_device, command, words) && ok;
    }
    reportAllocations(state, before);
    failed(state, ok, "write");
}
BENCHMARK(BM_WriteRegisters123);

// ---- with the caches cold ----

// Between two polls the kernel's network path, the other threads and the
// device's side run and push the driver's code and data out of the nearer
// caches. Here a buffer twice the size of a typical per-core L2 is written
// between two requests, outside the timed part, so that each request starts
// with its lines in the shared cache or memory.
const size_t ColdBufferBytes = 2 * 1024 * 1024;
const size_t CacheLineBytes = 64;
// Fixed, so that the writes between requests do not stretch the run.
const int ColdIterations = 20000;

void pushOutOfNearCaches()
{
    static std::vector<char> other(ColdBufferBytes);
    volatile char *bytes = other.data();
    for (size_t i = 0; i < other.size(); i += CacheLineBytes)
        bytes[i] = char(bytes[i] + 1);
}

// Times once() alone, each call after the caches were filled with other data.
template <typename Once>
void runCold(benchmark::State &state, Once once)
{
    using Clock = std::chrono::steady_clock;
    bool ok = once(); // the device learns the reply
    const std::uint64_t before = alloc_counter::count();
    for (auto _ : state) {
        pushOutOfNearCaches();
        const Clock::time_point start = Clock::now();
        ok = once() && ok;
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    reportAllocations(state, before);
    failed(state, ok, "request");
}

void coldRead(benchmark::State &state, const CommunicatorCommand &command, int expectedBytes)
{
    runCold(state, [&] {
        const QByteArray result = g_driver->read(g_device, command);
        return !g_driver->hasError() && result.size() == expectedBytes;
    });
}

void BM_ColdReadWord(benchmark::State &state)
{
    coldRead(state, CommunicatorCommand(2, 1, QStringLiteral("HR100")), 2);
}
BENCHMARK(BM_ColdReadWord)->UseManualTime()->Iterations(ColdIterations);

void BM_ColdReadWords125(benchmark::State &state)
{
    coldRead(state, CommunicatorCommand(2, 125, QStringLiteral("HR1")), 250);
}
BENCHMARK(BM_ColdReadWords125)->UseManualTime()->Iterations(ColdIterations);

void BM_ColdWriteRegisters123(benchmark::State &state)
{
    const CommunicatorCommand command(2, WriteRegisters, QStringLiteral("HR1"));
    QByteArray words(2 * WriteRegisters, '\0');
    for (int i = 0; i < words.size(); ++i)
        words[i] = char(i * 7);
    runCold(state, [&] { return g_driver->write(g_device, command, words); });
}
BENCHMARK(BM_ColdWriteRegisters123)->UseManualTime()->Iterations(ColdIterations);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    removeProjectDirectories();
    if (!writeProjectDatabase(projectDatabasePath(), projectOnCom2(sparseInputTags(), Station)))
        return 1;
    int status = 0;
    {
        DriverModbusRtuSlaveOverTcp driver;
        InstantSlaveDevice device;
        g_driver = &driver;
        g_device = &device;
        benchmark::Initialize(&argc, argv);
        if (benchmark::ReportUnrecognizedArguments(argc, argv))
            status = 2;
        else
            benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }
    removeProjectDirectories();
    return status;
}
