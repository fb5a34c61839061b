#ifndef HOST_SIM_SLAVE_CORE_H
#define HOST_SIM_SLAVE_CORE_H

// The simulated slave's frame processing, free of sockets and threads: a data
// map, a pure function that answers one request frame, and a framer that cuts
// requests out of a byte stream. The TCP server (sim_slave.h), the tests and
// the benchmarks share it.

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
    IllegalDataValue = 3
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

} // namespace sim

#endif // HOST_SIM_SLAVE_CORE_H
