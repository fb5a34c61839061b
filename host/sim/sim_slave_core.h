#ifndef HOST_SIM_SLAVE_CORE_H
#define HOST_SIM_SLAVE_CORE_H

// The simulated slave's frame processing, free of sockets and threads: a data
// map, a pure function that answers one request frame, a framer that cuts
// requests out of a byte stream and one that cuts replies out of the other
// direction. The TCP server (sim_slave.h), the fault proxy, the tests and the
// benchmarks share it.

#include <QByteArray>
#include <bitset>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace sim {

constexpr int kAddressSpace = 65536;

// Protocol limits a standard slave enforces (exception 3 beyond them).
constexpr int kMaxReadBits = 2000;
constexpr int kMaxReadRegisters = 125;
constexpr int kMaxWriteCoils = 1968;
constexpr int kMaxWriteRegisters = 123;

enum ExceptionCode : uint8_t {
    IllegalFunction = 1,
    IllegalDataAddress = 2,
    IllegalDataValue = 3,
    GatewayPathUnavailable = 0x0A,
    GatewayTargetFailedToRespond = 0x0B
};

// Everything the slave holds: one byte (0 or 1) per bit, one word per register.
struct SlaveData
{
    SlaveData();

    std::vector<uint8_t> coils;
    std::vector<uint8_t> discreteInputs;
    std::vector<uint16_t> holdingRegisters;
    std::vector<uint16_t> inputRegisters;
};

// Frames end in the Modbus CRC-16 of tools/modbus_crc.h, low byte first.
void appendCrc(QByteArray &frame);
// The last two of the length bytes at frame are the CRC of those before them.
bool hasValidCrc(const char *frame, int length);

// The station ids the slave answers to.
using StationSet = std::bitset<256>;
StationSet makeStationSet(std::initializer_list<int> ids);

// Answers one complete request frame (station, function, data, CRC). Returns
// the reply frame, or an empty array when the slave stays silent: a frame
// with a bad CRC, one for a station it does not serve, or one too short to be
// a request. Exceptions: 1 for an unknown function, 2 for an address range
// outside the map, 3 for a bad quantity, byte count, coil value or length.
QByteArray processRequest(SlaveData &data, const StationSet &stations, const QByteArray &frame);

// What a gateway in front of the slaves answers for stations it cannot
// reach: exception 0x0A for the unreachable ones (served or not), 0x0B for
// any other station the slave does not serve when answerForAbsent is on.
// Broadcasts (station 0) stay unanswered.
struct GatewayRules
{
    bool answerForAbsent = false;
    StationSet unreachable;
};
QByteArray processRequest(SlaveData &data, const StationSet &stations, const QByteArray &frame,
                          const GatewayRules &gateway);

// Length of the request that starts at bytes: 0 while more bytes are needed to
// tell, kLengthUnknown for a function whose request length is not known.
constexpr int kLengthUnknown = -1;
int requestLength(const char *bytes, int available);

// Cuts requests out of a TCP byte stream. Known functions are framed by
// their length; a request of an unknown function is taken to be everything
// received so far. A frame whose CRC fails throws away everything buffered:
// the stream resynchronises with the master's next request.
class RequestFramer
{
public:
    void append(const char *bytes, int size);
    // Moves the next complete, CRC-checked request into frame; false while
    // none is complete (or when a bad frame was just discarded).
    bool takeFrame(QByteArray *frame);
    bool hasPartialFrame() const { return !m_buffer.isEmpty(); }
    void clear() { m_buffer.clear(); }
    int discardedFrames() const { return m_discarded; }

private:
    QByteArray m_buffer;
    int m_discarded = 0;
};

// Length of the reply that starts at bytes, by its function: 0 while more
// bytes are needed to tell, kLengthUnknown for a function whose reply length
// is not known.
int replyLength(const char *bytes, int available);

// Cuts replies out of the byte stream a slave sends back. A unit is either a
// reply framed by its length with a good CRC, or bytes passed on as they are:
// an echo of the request the master sent last, bytes of an unknown function,
// a frame whose CRC fails, or (flush) a partial frame the slave stopped
// sending. Nothing is ever dropped: the units add up to the stream.
class ReplyFramer
{
public:
    void append(const char *bytes, int size) { m_buffer.append(bytes, size); }
    // The request an echo would repeat; empty for none.
    void expectEcho(const QByteArray &request);
    // Moves the next unit into unit; false while none is complete.
    bool take(QByteArray *unit, bool *isReply);
    // Moves everything buffered into unit; false when nothing is.
    bool flush(QByteArray *unit);
    bool hasPartial() const { return !m_buffer.isEmpty(); }

private:
    QByteArray m_buffer;
    QByteArray m_echo;
};

} // namespace sim

#endif // HOST_SIM_SLAVE_CORE_H
