#include "host/soak/soak_model.h"

#include <QRegularExpression>
#include <algorithm>

#include "host/runtime/device_address.h"
#include "host/sim/sim_slave_core.h"

namespace soak {
namespace {

// Limits of one request that both the driver and the slave accept: the
// protocol's, which the slave enforces.
using sim::kMaxReadBits;
using sim::kMaxReadRegisters;
using sim::kMaxWriteCoils;
using sim::kMaxWriteRegisters;
constexpr int kMaxReadDWords = kMaxReadRegisters / 2;
constexpr int kMaxReadBytes = 2 * kMaxReadRegisters;
constexpr int kMaxWriteDWords = kMaxWriteRegisters / 2;
constexpr int kMaxWriteBytes = 2 * kMaxWriteRegisters;
// Kept small: these go out one protocol request per item.
constexpr int kMaxOneByOneRegisters = 8;
constexpr int kMaxOneByOneCoils = 16;
constexpr int kMaxSparseBytes = 64;
constexpr int kSmallCount = 16;

int bytesForBits(int bits)
{
    return (bits + 7) / 8;
}

int registersForBits(int offset, int bits)
{
    return (offset + bits + kBitsPerRegister - 1) / kBitsPerRegister;
}

bool bitOf(const QByteArray &bytes, int i)
{
    return i / 8 < bytes.size() && (uchar(bytes.at(i / 8)) >> (i % 8)) & 1;
}

void setBitOf(QByteArray &bytes, int i, bool on)
{
    const uchar mask = uchar(1u << (i % 8));
    uchar byte = uchar(bytes.at(i / 8));
    bytes[i / 8] = char(on ? byte | mask : byte & ~mask);
}

Target registerBit(Table table, int start, int j)
{
    return Target{table, start + j / kBitsPerRegister, j % kBitsPerRegister};
}

// Runs of configured addresses among the bits of a sparse read.
int configuredRuns(const Request &request, const Shadow &shadow)
{
    const std::vector<uint8_t> &configured =
        request.table == Table::DiscreteInputs ? shadow.configuredInputs : shadow.configuredCoils;
    int runs = 0;
    bool inRun = false;
    for (int i = 0; i < 8 * request.count; ++i) {
        const bool on = configured[std::size_t((request.start + i) % sim::kAddressSpace)] != 0;
        runs += on && !inRun ? 1 : 0;
        inRun = on;
    }
    return runs;
}

const char *const kModbusTexts[] = {"PLC no response", "received bytes < 5", "CRC error", "invalid response",
                                    "packet loss"};
const char *const kDeviceTexts[] = {"timed out",           "not connected",         "connection closed by peer",
                                    "connection refused",  "connection reset by peer", "connection aborted",
                                    "host unreachable",    "network unreachable",   "unknown host"};

// The Modbus text's key, or an empty string when base is none of them.
QString modbusKey(const QString &base)
{
    for (const char *text : kModbusTexts) {
        if (base == QLatin1String(text))
            return base;
    }
    static const QRegularExpression slaveId(QStringLiteral("^invalid slave id:(\\d{1,3})$"));
    const QRegularExpressionMatch id = slaveId.match(base);
    if (id.hasMatch() && id.captured(1).toInt() <= 255 && QString::number(id.captured(1).toInt()) == id.captured(1))
        return QStringLiteral("invalid slave id:%d");
    static const QRegularExpression exception(QStringLiteral("^exception code:0x[0-9A-F]{2}$"));
    if (exception.match(base).hasMatch())
        return QStringLiteral("exception code:0x%02X");
    return QString();
}

bool isDeviceText(const QString &base)
{
    for (const char *text : kDeviceTexts) {
        if (base == QLatin1String(text))
            return true;
    }
    return false;
}

} // namespace

// ---- Shadow ---------------------------------------------------------------

Shadow::Shadow(bool slaveDataKnown)
    : holdingRegisters(sim::kAddressSpace, 0),
      inputRegisters(sim::kAddressSpace, 0),
      coils(sim::kAddressSpace, 0),
      discreteInputs(sim::kAddressSpace, 0),
      configuredInputs(sim::kAddressSpace, 0),
      configuredCoils(sim::kAddressSpace, 0),
      m_registerKnown(sim::kAddressSpace, slaveDataKnown ? 0xFFFF : 0),
      m_coilKnown(sim::kAddressSpace, slaveDataKnown ? 1 : 0),
      m_inputsKnown(slaveDataKnown)
{
}

bool Shadow::known(const Target &target) const
{
    const std::size_t a = std::size_t(target.address);
    switch (target.table) {
    case Table::HoldingRegisters:
        return (m_registerKnown[a] >> target.bit) & 1;
    case Table::Coils:
        return m_coilKnown[a] != 0;
    case Table::InputRegisters:
    case Table::DiscreteInputs:
        break;
    }
    return m_inputsKnown; // never written
}

int Shadow::value(const Target &target) const
{
    const std::size_t a = std::size_t(target.address);
    switch (target.table) {
    case Table::HoldingRegisters:
        return (holdingRegisters[a] >> target.bit) & 1;
    case Table::InputRegisters:
        return (inputRegisters[a] >> target.bit) & 1;
    case Table::Coils:
        return coils[a] ? 1 : 0;
    case Table::DiscreteInputs:
        break;
    }
    return discreteInputs[a] ? 1 : 0;
}

void Shadow::set(const Target &target, int value)
{
    const std::size_t a = std::size_t(target.address);
    if (target.table == Table::HoldingRegisters) {
        const uint16_t mask = uint16_t(1u << target.bit);
        holdingRegisters[a] = uint16_t(value ? holdingRegisters[a] | mask : holdingRegisters[a] & ~mask);
        m_registerKnown[a] = uint16_t(m_registerKnown[a] | mask);
    } else if (target.table == Table::Coils) {
        coils[a] = uint8_t(value ? 1 : 0);
        m_coilKnown[a] = 1;
    }
}

void Shadow::forget(const Target &target)
{
    const std::size_t a = std::size_t(target.address);
    if (target.table == Table::HoldingRegisters)
        m_registerKnown[a] = uint16_t(m_registerKnown[a] & ~(1u << target.bit));
    else if (target.table == Table::Coils)
        m_coilKnown[a] = 0;
}

Shadow::Expectation Shadow::expectRead(const Request &request) const
{
    Expectation expectation;
    const int size = readResultSize(request);
    expectation.bytes.fill('\0', size);
    expectation.known.fill('\xFF', size);
    for (int i = 0; i < 8 * size; ++i) {
        Target target;
        if (!targetOf(request, *this, i, &target))
            continue; // must read as 0
        setBitOf(expectation.bytes, i, value(target) != 0);
        setBitOf(expectation.known, i, known(target));
    }
    return expectation;
}

void Shadow::applyWrite(const Request &request, bool acknowledged)
{
    const int bits = dataBits(request);
    for (int i = 0; i < bits; ++i) {
        Target target;
        if (!targetOf(request, *this, i, &target))
            continue;
        if (acknowledged)
            set(target, bitOf(request.data, i) ? 1 : 0);
        else
            forget(target);
    }
}

// ---- Mapping the request's bits ---------------------------------------------

bool targetOf(const Request &request, const Shadow &shadow, int i, Target *target)
{
    switch (request.shape) {
    case Shape::Words:
    case Shape::Bytes:
        *target = registerBit(request.table, request.start, i);
        return true;
    case Shape::DWords:
        if (!request.highWordFirst) {
            *target = registerBit(request.table, request.start, i);
        } else {
            // The high-order half of each value lies in the lower register.
            const int pair = i / 32;
            const int within = i % 32;
            const int reg = request.start + 2 * pair + (within < kBitsPerRegister ? 1 : 0);
            *target = Target{request.table, reg, within % kBitsPerRegister};
        }
        return true;
    case Shape::RegisterBits:
        if (i >= request.count)
            return false;
        *target = registerBit(request.table, request.start, request.bit + i);
        return true;
    case Shape::Bits:
        if (i >= request.count)
            return false;
        *target = Target{request.table, request.start + i, 0};
        return true;
    case Shape::SparseBytes: {
        const int address = (request.start + i) % sim::kAddressSpace;
        const std::vector<uint8_t> &configured =
            request.table == Table::DiscreteInputs ? shadow.configuredInputs : shadow.configuredCoils;
        if (!configured[std::size_t(address)])
            return false;
        *target = Target{request.table, address, 0};
        return true;
    }
    }
    return false;
}

int readResultSize(const Request &request)
{
    switch (request.shape) {
    case Shape::Words:
        return 2 * request.count;
    case Shape::DWords:
        return 4 * request.count;
    case Shape::Bytes:
    case Shape::SparseBytes:
        return request.count;
    case Shape::RegisterBits:
    case Shape::Bits:
        break;
    }
    return bytesForBits(request.count);
}

int dataBits(const Request &request)
{
    if (request.write && request.shape == Shape::Bytes)
        return kBitsPerRegister * ((request.count + 1) / 2);
    return 8 * readResultSize(request);
}

int exchangesPerAttempt(const Request &request, const Shadow &shadow)
{
    if (!request.write)
        return request.shape == Shape::SparseBytes ? std::max(1, configuredRuns(request, shadow)) : 1;
    if (!request.oneByOne)
        return request.shape == Shape::RegisterBits ? 2 : 1; // bits: read, then write
    switch (request.shape) {
    case Shape::Words:
        return request.count;
    case Shape::DWords:
        return 2 * request.count;
    case Shape::Bytes:
        return (request.count + 1) / 2;
    case Shape::RegisterBits:
        return 1 + registersForBits(request.bit, request.count);
    case Shape::Bits:
    case Shape::SparseBytes:
        break;
    }
    return request.count;
}

QString describeFailure(const Request &request, int station)
{
    static const char *const kReadUnits[] = {"bit(s)", "byte(s)", "word(s)", "dword(s)"};
    static const char *const kWriteUnits[] = {"bit", "byte", "word", "dword"};
    if (request.dataType < BitData || request.dataType > DoubleWordData)
        return QString();
    return QStringLiteral(" (%1 %2 %3 %4 %5-%6)")
        .arg(request.write ? QLatin1String("write") : QLatin1String("read"))
        .arg(request.count)
        .arg(QLatin1String(request.write ? kWriteUnits[request.dataType] : kReadUnits[request.dataType]))
        .arg(request.write ? QLatin1String("to") : QLatin1String("from"))
        .arg(station & 0xFF)
        .arg(request.address);
}

ErrorVerdict judgeError(const QString &text, const Request &request, int station)
{
    const QString description = describeFailure(request, station);
    QString base = text;
    bool described = false;
    if (!description.isEmpty() && text.endsWith(description)) {
        base.chop(description.size());
        described = true;
    }
    ErrorVerdict verdict;
    const QString key = modbusKey(base);
    if (!key.isEmpty()) {
        // Failed transactions are always described, where the type has a description.
        verdict.known = description.isEmpty() || described;
        verdict.key = key;
    } else if (isDeviceText(base)) {
        // Described after a failed send; not after a failed reconnect.
        verdict.known = true;
        verdict.key = base;
    } else {
        verdict.key = text;
    }
    return verdict;
}

// ---- Requests ---------------------------------------------------------------

RequestGenerator::RequestGenerator(uint64_t seed, const Layout &layout)
    : m_random(seed), m_layout(layout)
{
}

int RequestGenerator::uniform(int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(m_random);
}

bool RequestGenerator::chance(double p)
{
    return std::bernoulli_distribution(p)(m_random);
}

int RequestGenerator::countUpTo(int limit)
{
    return chance(0.75) ? uniform(1, std::min(limit, kSmallCount)) : uniform(1, limit);
}

QString RequestGenerator::prefix(const char *upper)
{
    const QString text = QLatin1String(upper);
    return chance(0.1) ? text.toLower() : text;
}

namespace {

int windowOf(const Layout &layout, Table table)
{
    switch (table) {
    case Table::HoldingRegisters:
        return layout.holdingRegisters;
    case Table::InputRegisters:
        return layout.inputRegisters;
    case Table::Coils:
        return layout.coils;
    case Table::DiscreteInputs:
        break;
    }
    return layout.discreteInputs;
}

const char *shapeName(Shape shape)
{
    switch (shape) {
    case Shape::Words:
        return "word";
    case Shape::DWords:
        return "dword";
    case Shape::Bytes:
        return "byte";
    case Shape::RegisterBits:
        return "register bit";
    case Shape::Bits:
    case Shape::SparseBytes:
        break;
    }
    return "bit";
}

} // namespace

Request RequestGenerator::readRegisters(Shape shape, Table table, bool fn6)
{
    Request request;
    request.table = table;
    request.shape = shape;
    const int window = windowOf(m_layout, table);
    int registers = 0;
    switch (shape) {
    case Shape::Words:
        request.dataType = WordData;
        request.count = countUpTo(std::min(kMaxReadRegisters, window));
        registers = request.count;
        break;
    case Shape::DWords:
        request.dataType = DoubleWordData;
        request.count = countUpTo(std::min(kMaxReadDWords, window / 2));
        request.highWordFirst = chance(0.5);
        registers = 2 * request.count;
        break;
    case Shape::Bytes:
        request.dataType = chance(0.2) ? BlockData : ByteData;
        request.count = countUpTo(std::min(kMaxReadBytes, 2 * window));
        registers = (request.count + 1) / 2;
        break;
    default: // Shape::RegisterBits
        request.dataType = chance(0.2) ? SecondBitData : BitData;
        request.bit = uniform(0, kBitsPerRegister - 1);
        request.count = countUpTo(std::min(kMaxReadRegisters, window) * kBitsPerRegister - request.bit);
        registers = registersForBits(request.bit, request.count);
        break;
    }
    request.start = m_layout.first + uniform(0, window - registers);
    const char *area = table == Table::InputRegisters ? "IR" : fn6 ? "FN6HR" : "HR";
    request.address = prefix(area) + QString::number(request.start + 1);
    if (shape == Shape::RegisterBits)
        request.address += QLatin1Char('.') + QString::number(request.bit);
    if (request.highWordFirst)
        request.address += prefix("SW");
    request.kind = QStringLiteral("read %1 %2%3")
                       .arg(QLatin1String(shapeName(shape)), QLatin1String(area),
                            request.highWordFirst ? QLatin1String(" SW") : QLatin1String(""));
    return request;
}

Request RequestGenerator::readBits(Table table, bool fn5)
{
    Request request;
    request.table = table;
    request.shape = Shape::Bits;
    request.dataType = chance(0.2) ? SecondBitData : BitData;
    const int window = windowOf(m_layout, table);
    request.count = countUpTo(std::min(kMaxReadBits, window));
    request.start = m_layout.first + uniform(0, window - request.count);
    const char *area = table == Table::DiscreteInputs ? "DI" : fn5 ? "FN5DO" : "DO";
    request.address = prefix(area) + QString::number(request.start + 1);
    request.kind = QStringLiteral("read bit %1").arg(QLatin1String(area));
    return request;
}

Request RequestGenerator::readSparse(Table table, bool fn5)
{
    Request request;
    request.table = table;
    request.shape = Shape::SparseBytes;
    request.dataType = chance(0.2) ? BlockData : ByteData;
    const int window = windowOf(m_layout, table);
    request.count = countUpTo(std::min(kMaxSparseBytes, window / 8));
    request.start = m_layout.first + uniform(0, window - 8 * request.count);
    const char *area = table == Table::DiscreteInputs ? "DI" : fn5 ? "FN5DO" : "DO";
    request.address = prefix(area) + QString::number(request.start + 1);
    request.kind = QStringLiteral("read byte %1 (sparse)").arg(QLatin1String(area));
    return request;
}

Request RequestGenerator::writeRegisters(Shape shape, bool fn6)
{
    Request request;
    request.write = true;
    request.table = Table::HoldingRegisters;
    request.shape = shape;
    request.oneByOne = fn6;
    const int window = m_layout.holdingRegisters;
    int registers = 0;
    int bytes = 0;
    switch (shape) {
    case Shape::Words:
        request.dataType = WordData;
        request.count = fn6 ? uniform(1, std::min(kMaxOneByOneRegisters, window))
                            : countUpTo(std::min(kMaxWriteRegisters, window));
        registers = request.count;
        bytes = 2 * request.count;
        break;
    case Shape::DWords:
        request.dataType = DoubleWordData;
        request.count = fn6 ? uniform(1, std::min(kMaxOneByOneRegisters, window) / 2)
                            : countUpTo(std::min(kMaxWriteDWords, window / 2));
        request.highWordFirst = chance(0.5);
        registers = 2 * request.count;
        bytes = 4 * request.count;
        break;
    case Shape::Bytes:
        request.dataType = chance(0.2) ? BlockData : ByteData;
        request.count = fn6 ? uniform(1, 2 * std::min(kMaxOneByOneRegisters, window))
                            : countUpTo(std::min(kMaxWriteBytes, 2 * window));
        registers = (request.count + 1) / 2;
        bytes = request.count;
        break;
    default: // Shape::RegisterBits
        request.dataType = chance(0.2) ? SecondBitData : BitData;
        request.bit = uniform(0, kBitsPerRegister - 1);
        request.count = countUpTo(std::min(fn6 ? kMaxOneByOneRegisters / 2 : kMaxWriteRegisters, window)
                                      * kBitsPerRegister
                                  - request.bit);
        registers = registersForBits(request.bit, request.count);
        bytes = bytesForBits(request.count);
        break;
    }
    request.start = m_layout.first + uniform(0, window - registers);
    request.data.resize(bytes);
    for (char &byte : request.data)
        byte = char(uniform(0, 255));
    const char *area = fn6 ? "FN6HR" : "HR";
    request.address = prefix(area) + QString::number(request.start + 1);
    if (shape == Shape::RegisterBits)
        request.address += QLatin1Char('.') + QString::number(request.bit);
    if (request.highWordFirst)
        request.address += prefix("SW");
    request.kind = QStringLiteral("write %1 %2%3")
                       .arg(QLatin1String(shapeName(shape)), QLatin1String(area),
                            request.highWordFirst ? QLatin1String(" SW") : QLatin1String(""));
    return request;
}

Request RequestGenerator::writeCoils(bool fn5)
{
    Request request;
    request.write = true;
    request.table = Table::Coils;
    request.shape = Shape::Bits;
    request.oneByOne = fn5;
    request.dataType = chance(0.2) ? SecondBitData : BitData;
    request.count = fn5 ? uniform(1, std::min(kMaxOneByOneCoils, m_layout.coils))
                        : countUpTo(std::min(kMaxWriteCoils, m_layout.coils));
    request.start = m_layout.first + uniform(0, m_layout.coils - request.count);
    // Bits beyond the count in the last byte are random too: nobody may use them.
    request.data.resize(bytesForBits(request.count));
    for (char &byte : request.data)
        byte = char(uniform(0, 255));
    const char *area = fn5 ? "FN5DO" : "DO";
    request.address = prefix(area) + QString::number(request.start + 1);
    request.kind = QStringLiteral("write bit %1").arg(QLatin1String(area));
    return request;
}

Request RequestGenerator::next()
{
    // Relative weights of the request kinds.
    enum Kind {
        ReadWordHR, ReadWordIR, ReadDWord, ReadByte, ReadRegisterBit, ReadCoilBit, ReadInputBit, ReadInputBytes,
        ReadCoilBytes, WriteWord, WriteDWord, WriteByte, WriteRegisterBit, WriteWordFn6, WriteDWordFn6, WriteByteFn6,
        WriteRegisterBitFn6, WriteCoils, WriteCoilsFn5, KindCount
    };
    static const int kWeights[KindCount] = {8, 4, 6, 5, 5, 5, 4, 6, 3, 6, 5, 4, 5, 3, 2, 2, 3, 5, 3};
    std::discrete_distribution<int> pick(std::begin(kWeights), std::end(kWeights));
    const auto registerTable = [this] { return chance(0.3) ? Table::InputRegisters : Table::HoldingRegisters; };
    switch (pick(m_random)) {
    case ReadWordHR:
        return readRegisters(Shape::Words, Table::HoldingRegisters, chance(0.2));
    case ReadWordIR:
        return readRegisters(Shape::Words, Table::InputRegisters, false);
    case ReadDWord:
        return readRegisters(Shape::DWords, registerTable(), chance(0.2));
    case ReadByte:
        return readRegisters(Shape::Bytes, registerTable(), chance(0.2));
    case ReadRegisterBit:
        return readRegisters(Shape::RegisterBits, registerTable(), chance(0.2));
    case ReadCoilBit:
        return readBits(Table::Coils, chance(0.3));
    case ReadInputBit:
        return readBits(Table::DiscreteInputs, false);
    case ReadInputBytes:
        return readSparse(Table::DiscreteInputs, false);
    case ReadCoilBytes:
        return readSparse(Table::Coils, chance(0.3));
    case WriteWord:
        return writeRegisters(Shape::Words, false);
    case WriteDWord:
        return writeRegisters(Shape::DWords, false);
    case WriteByte:
        return writeRegisters(Shape::Bytes, false);
    case WriteRegisterBit:
        return writeRegisters(Shape::RegisterBits, false);
    case WriteWordFn6:
        return writeRegisters(Shape::Words, true);
    case WriteDWordFn6:
        return writeRegisters(Shape::DWords, true);
    case WriteByteFn6:
        return writeRegisters(Shape::Bytes, true);
    case WriteRegisterBitFn6:
        return writeRegisters(Shape::RegisterBits, true);
    case WriteCoils:
        return writeCoils(false);
    default:
        break;
    }
    return writeCoils(true);
}

} // namespace soak
