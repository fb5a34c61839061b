// Request handling of the simulated slave: one handler per function code,
// chosen from a table that also knows each request's length.

#include "host/sim/sim_slave_core.h"

#include "tools/modbus_crc.h"

#include <algorithm>

namespace sim {
namespace {

constexpr uint8_t kExceptionFlag = 0x80;
constexpr uint16_t kCoilOn = 0xFF00;
constexpr uint16_t kCoilOff = 0x0000;
constexpr int kHeaderSize = 2;          // station, function
constexpr int kCrcSize = 2;
constexpr int kFixedRequestSize = 8;    // station, function, two words, CRC
constexpr int kFixedBodySize = kFixedRequestSize - kHeaderSize - kCrcSize;
constexpr int kByteCountOffset = 6;     // of a multiple-write request
constexpr int kMultipleWriteBodyHead = 5; // address, quantity, byte count

// The request as the handlers see it: the bytes between function code and CRC.
struct Request
{
    const uint8_t *body;
    int size;

    uint16_t word(int offset) const { return uint16_t(body[offset] << 8 | body[offset + 1]); }
    uint8_t byte(int offset) const { return body[offset]; }
};

// A handler's answer: either an exception code or the reply data after the
// function code.
struct Outcome
{
    uint8_t exception = 0;
    QByteArray data;
};

Outcome exception(ExceptionCode code)
{
    Outcome outcome;
    outcome.exception = code;
    return outcome;
}

void appendWord(QByteArray &bytes, uint16_t value)
{
    bytes.append(char(value >> 8));
    bytes.append(char(value & 0xFF));
}

bool rangeFits(uint16_t address, int quantity)
{
    return int(address) + quantity <= kAddressSpace;
}

// Checks common to reads and multiple writes: quantity first, then range.
uint8_t checkBlock(uint16_t address, int quantity, int maxQuantity)
{
    if (quantity < 1 || quantity > maxQuantity)
        return IllegalDataValue;
    if (!rangeFits(address, quantity))
        return IllegalDataAddress;
    return 0;
}

Outcome readBits(const std::vector<uint8_t> &table, const Request &request)
{
    const uint16_t address = request.word(0);
    const int quantity = request.word(2);
    if (const uint8_t code = checkBlock(address, quantity, kMaxReadBits))
        return exception(ExceptionCode(code));
    const int byteCount = (quantity + 7) / 8;
    Outcome outcome;
    outcome.data.fill('\0', 1 + byteCount);
    outcome.data[0] = char(byteCount);
    char *packed = outcome.data.data() + 1;
    for (int i = 0; i < quantity; ++i) {
        if (table[std::size_t(address + i)])
            packed[i / 8] = char(packed[i / 8] | (1 << (i % 8)));
    }
    return outcome;
}

Outcome readRegisters(const std::vector<uint16_t> &table, const Request &request)
{
    const uint16_t address = request.word(0);
    const int quantity = request.word(2);
    if (const uint8_t code = checkBlock(address, quantity, kMaxReadRegisters))
        return exception(ExceptionCode(code));
    Outcome outcome;
    outcome.data.reserve(1 + 2 * quantity);
    outcome.data.append(char(2 * quantity));
    for (int i = 0; i < quantity; ++i)
        appendWord(outcome.data, table[std::size_t(address + i)]);
    return outcome;
}

Outcome readCoils(SlaveData &data, const Request &request)
{
    return readBits(data.coils, request);
}

Outcome readDiscreteInputs(SlaveData &data, const Request &request)
{
    return readBits(data.discreteInputs, request);
}

Outcome readHoldingRegisters(SlaveData &data, const Request &request)
{
    return readRegisters(data.holdingRegisters, request);
}

Outcome readInputRegisters(SlaveData &data, const Request &request)
{
    return readRegisters(data.inputRegisters, request);
}

// Single writes answer with an echo of their request body.
Outcome echo(const Request &request)
{
    Outcome outcome;
    outcome.data = QByteArray(reinterpret_cast<const char *>(request.body), request.size);
    return outcome;
}

Outcome writeSingleCoil(SlaveData &data, const Request &request)
{
    const uint16_t value = request.word(2);
    if (value != kCoilOn && value != kCoilOff)
        return exception(IllegalDataValue);
    data.coils[request.word(0)] = value == kCoilOn ? 1 : 0;
    return echo(request);
}

Outcome writeSingleRegister(SlaveData &data, const Request &request)
{
    data.holdingRegisters[request.word(0)] = request.word(2);
    return echo(request);
}

Outcome acknowledgeMultipleWrite(const Request &request)
{
    Outcome outcome;
    appendWord(outcome.data, request.word(0));
    appendWord(outcome.data, request.word(2));
    return outcome;
}

Outcome writeMultipleCoils(SlaveData &data, const Request &request)
{
    const uint16_t address = request.word(0);
    const int quantity = request.word(2);
    if (request.byte(4) != (quantity + 7) / 8)
        return exception(IllegalDataValue);
    if (const uint8_t code = checkBlock(address, quantity, kMaxWriteCoils))
        return exception(ExceptionCode(code));
    const uint8_t *packed = request.body + kMultipleWriteBodyHead;
    for (int i = 0; i < quantity; ++i)
        data.coils[std::size_t(address + i)] = (packed[i / 8] >> (i % 8)) & 1;
    return acknowledgeMultipleWrite(request);
}

Outcome writeMultipleRegisters(SlaveData &data, const Request &request)
{
    const uint16_t address = request.word(0);
    const int quantity = request.word(2);
    if (request.byte(4) != 2 * quantity)
        return exception(IllegalDataValue);
    if (const uint8_t code = checkBlock(address, quantity, kMaxWriteRegisters))
        return exception(ExceptionCode(code));
    for (int i = 0; i < quantity; ++i)
        data.holdingRegisters[std::size_t(address + i)] = request.word(kMultipleWriteBodyHead + 2 * i);
    return acknowledgeMultipleWrite(request);
}

enum class Framing { Fixed, ByteCounted };

struct Function
{
    uint8_t code;
    Framing framing;
    Outcome (*handle)(SlaveData &, const Request &);
};

const Function kFunctions[] = {
    {1, Framing::Fixed, readCoils},
    {2, Framing::Fixed, readDiscreteInputs},
    {3, Framing::Fixed, readHoldingRegisters},
    {4, Framing::Fixed, readInputRegisters},
    {5, Framing::Fixed, writeSingleCoil},
    {6, Framing::Fixed, writeSingleRegister},
    {15, Framing::ByteCounted, writeMultipleCoils},
    {16, Framing::ByteCounted, writeMultipleRegisters},
};

const Function *findFunction(uint8_t code)
{
    for (const Function &function : kFunctions) {
        if (function.code == code)
            return &function;
    }
    return nullptr;
}

bool bodyHasExpectedSize(const Function &function, const Request &request)
{
    if (function.framing == Framing::Fixed)
        return request.size == kFixedBodySize;
    return request.size >= kMultipleWriteBodyHead
           && request.size == kMultipleWriteBodyHead + request.byte(4);
}

Outcome dispatch(SlaveData &data, uint8_t functionCode, const Request &request)
{
    const Function *function = findFunction(functionCode);
    if (!function)
        return exception(IllegalFunction);
    if (!bodyHasExpectedSize(*function, request))
        return exception(IllegalDataValue);
    return function->handle(data, request);
}

// The station of a frame long enough to be a request and with a good CRC;
// -1 for any other frame, which gets no answer.
int stationOf(const QByteArray &frame)
{
    if (frame.size() < kHeaderSize + kCrcSize || !hasValidCrc(frame.constData(), frame.size()))
        return -1;
    return uint8_t(frame[0]);
}

constexpr int kBroadcastStation = 0;

// Answers a checked frame; served holds the tables of its station, or null
// when the slave does not serve it.
QByteArray answerStation(SlaveData *served, const QByteArray &frame, const GatewayRules &gateway)
{
    const auto *bytes = reinterpret_cast<const uint8_t *>(frame.constData());
    const uint8_t station = bytes[0];
    const uint8_t functionCode = bytes[1];
    const bool broadcast = station == 0;
    Outcome outcome;
    if (gateway.unreachable.test(station) && !broadcast) {
        outcome = exception(GatewayPathUnavailable);
    } else if (!served) {
        if (!gateway.answerForAbsent || broadcast)
            return QByteArray();
        outcome = exception(GatewayTargetFailedToRespond);
    } else {
        const Request request{bytes + kHeaderSize, frame.size() - kHeaderSize - kCrcSize};
        outcome = dispatch(*served, functionCode, request);
    }

    QByteArray reply;
    reply.reserve(kHeaderSize + outcome.data.size() + 1 + kCrcSize);
    reply.append(char(station));
    if (outcome.exception) {
        reply.append(char(functionCode | kExceptionFlag));
        reply.append(char(outcome.exception));
    } else {
        reply.append(char(functionCode));
        reply.append(outcome.data);
    }
    appendCrc(reply);
    return reply;
}

} // namespace

SlaveData::SlaveData()
    : coils(kAddressSpace, 0),
      discreteInputs(kAddressSpace, 0),
      holdingRegisters(kAddressSpace, 0),
      inputRegisters(kAddressSpace, 0)
{
}

void appendCrc(QByteArray &frame)
{
    const unsigned short crc = ModbusCrc16(reinterpret_cast<const unsigned char *>(frame.constData()), frame.size());
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
}

bool hasValidCrc(const char *frame, int length)
{
    if (length < kCrcSize)
        return false;
    const unsigned short crc = ModbusCrc16(reinterpret_cast<const unsigned char *>(frame), length - kCrcSize);
    return uint8_t(frame[length - 2]) == (crc & 0xFF) && uint8_t(frame[length - 1]) == (crc >> 8);
}

StationSet makeStationSet(std::initializer_list<int> ids)
{
    StationSet set;
    for (int id : ids)
        set.set(std::size_t(id & 0xFF));
    return set;
}

StationTables::StationTables(const StationSet &stations) : m_stations(stations)
{
    for (std::size_t station = m_tables.size(); station-- > 0;) { // downwards: m_first ends on the lowest
        if (m_stations.test(station)) {
            m_tables[station] = std::make_unique<SlaveData>();
            m_first = int(station);
        }
    }
    if (!m_tables[std::size_t(m_first)]) // none served
        m_tables[std::size_t(m_first)] = std::make_unique<SlaveData>();
}

SlaveData *StationTables::find(int station)
{
    if (station < 0 || station >= int(m_tables.size()) || !m_stations.test(std::size_t(station)))
        return nullptr;
    return m_tables[std::size_t(station)].get();
}

QByteArray processRequest(SlaveData &data, const StationSet &stations, const QByteArray &frame)
{
    return processRequest(data, stations, frame, GatewayRules());
}

QByteArray processRequest(SlaveData &data, const StationSet &stations, const QByteArray &frame,
                          const GatewayRules &gateway)
{
    const int station = stationOf(frame);
    if (station < 0)
        return QByteArray();
    return answerStation(stations.test(std::size_t(station)) ? &data : nullptr, frame, gateway);
}

QByteArray processRequest(StationTables &tables, const QByteArray &frame, const GatewayRules &gateway)
{
    const int station = stationOf(frame);
    if (station < 0)
        return QByteArray();
    if (station == kBroadcastStation) {
        // Every served station carries out a broadcast write; none answers.
        const uint8_t function = uint8_t(frame[1]);
        const bool write = function == 5 || function == 6 || function == 15 || function == 16;
        QByteArray asStation = frame;
        for (int served = 1; write && served < int(kStationCount); ++served) {
            if (SlaveData *data = tables.find(served)) {
                asStation[0] = char(served);
                answerStation(data, asStation, GatewayRules());
            }
        }
        return QByteArray();
    }
    return answerStation(tables.find(station), frame, gateway);
}

QString discardNote(const QByteArray &bytes, DiscardReason reason)
{
    switch (reason) {
    case DiscardReason::BadCrc:
        return QStringLiteral("discarded: bad CRC");
    case DiscardReason::PartialFrame:
        return QStringLiteral("discarded: partial frame");
    case DiscardReason::NotServed:
        break;
    }
    return QStringLiteral("ignored: station %1 not served").arg(bytes.isEmpty() ? 0 : uint8_t(bytes[0]));
}

int requestLength(const char *bytes, int available)
{
    if (available < kHeaderSize)
        return 0;
    const Function *function = findFunction(uint8_t(bytes[1]));
    if (!function)
        return kLengthUnknown;
    if (function->framing == Framing::Fixed)
        return kFixedRequestSize;
    if (available <= kByteCountOffset)
        return 0;
    return kByteCountOffset + 1 + uint8_t(bytes[kByteCountOffset]) + kCrcSize;
}

void RequestFramer::append(const char *bytes, int size)
{
    m_buffer.append(bytes, size);
}

bool RequestFramer::takeFrame(QByteArray *frame, QByteArray *discarded)
{
    int length = requestLength(m_buffer.constData(), m_buffer.size());
    if (length == kLengthUnknown)
        length = m_buffer.size();
    if (length == 0 || m_buffer.size() < length)
        return false;
    if (!hasValidCrc(m_buffer.constData(), length)) {
        ++m_discarded;
        if (discarded)
            *discarded = m_buffer;
        m_buffer.clear();
        return false;
    }
    *frame = m_buffer.left(length);
    m_buffer.remove(0, length);
    return true;
}

QByteArray RequestFramer::dropPartialFrame()
{
    QByteArray partial;
    partial.swap(m_buffer);
    return partial;
}

int replyLength(const char *bytes, int available)
{
    if (available < kHeaderSize)
        return 0;
    const uint8_t code = uint8_t(bytes[1]);
    if (code & kExceptionFlag)
        return kHeaderSize + 1 + kCrcSize;
    if (!findFunction(code))
        return kLengthUnknown;
    if (code > 4)
        return kFixedRequestSize; // writes are acknowledged by address and quantity or value
    if (available < kHeaderSize + 1)
        return 0;
    return kHeaderSize + 1 + uint8_t(bytes[kHeaderSize]) + kCrcSize; // reads: byte count, data
}

void ReplyFramer::expectEcho(const QByteArray &request)
{
    // The reply of functions 5 and 6 repeats the request: such a frame is a reply.
    const bool repeated = request.size() > 1 && (request[1] == 5 || request[1] == 6);
    m_echo = repeated ? QByteArray() : request;
}

bool ReplyFramer::take(QByteArray *unit, bool *isReply)
{
    if (m_buffer.isEmpty())
        return false;
    *isReply = false;
    if (!m_echo.isEmpty()) {
        const int common = int(std::min(m_buffer.size(), m_echo.size()));
        if (m_buffer.left(common) == m_echo.left(common)) {
            if (common < m_echo.size())
                return false; // could still be the echo
            *unit = m_buffer.left(common);
            m_buffer.remove(0, common);
            m_echo.clear();
            return true;
        }
    }
    int length = replyLength(m_buffer.constData(), m_buffer.size());
    if (length == 0 || (length > 0 && m_buffer.size() < length))
        return false;
    if (length == kLengthUnknown || !hasValidCrc(m_buffer.constData(), length)) {
        flush(unit);
        return true;
    }
    *isReply = true;
    *unit = m_buffer.left(length);
    m_buffer.remove(0, length);
    m_echo.clear();
    return true;
}

bool ReplyFramer::flush(QByteArray *unit)
{
    if (m_buffer.isEmpty())
        return false;
    *unit = m_buffer;
    m_buffer.clear();
    m_echo.clear();
    return true;
}

} // namespace sim
