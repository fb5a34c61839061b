#ifndef HOST_SIM_SLAVE_CORE_H
#define HOST_SIM_SLAVE_CORE_H

// The simulated slave's frame processing, free of sockets and threads: a data
// map, a pure function that answers one request frame, a framer that cuts
// requests out of a byte stream and one that cuts replies out of the other
// direction. The TCP server (sim_slave.h), the fault proxy, the tests and the
// benchmarks share it.

#include <QByteArray>
#include <QString>
#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
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
constexpr std::size_t kStationCount = 256;
using StationSet = std::bitset<kStationCount>;
StationSet makeStationSet(std::initializer_list<int> ids);

// The tables of every served station, each station its own. A SlaveData is
// some 400 KB, so only the served stations get one.
class StationTables
{
public:
    explicit StationTables(const StationSet &stations);

    // The tables of station, or null when it is not served.
    SlaveData *find(int station);
    // The tables of the lowest served station; with none served, a set that
    // no request reaches, so that callers always have tables to act on.
    SlaveData &first() { return *m_tables[std::size_t(m_first)]; }

private:
    StationSet m_stations;
    int m_first = 0;
    std::array<std::unique_ptr<SlaveData>, kStationCount> m_tables;
};

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
// The same with every station on its own tables: a request reads and writes
// only those of the station it names.
QByteArray processRequest(StationTables &tables, const QByteArray &frame, const GatewayRules &gateway);

// Why input got no answer: bytes thrown away by the framer, or a whole
// request for a station the slave neither serves nor answers for.
enum class DiscardReason { BadCrc, PartialFrame, NotServed };
// "discarded: bad CRC", "discarded: partial frame", "ignored: station 9 not served".
QString discardNote(const QByteArray &bytes, DiscardReason reason);

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
    // none is complete, or when a bad frame was just discarded: then the
    // bytes thrown away (that frame and all buffered after it) go into
    // discarded when given.
    bool takeFrame(QByteArray *frame, QByteArray *discarded = nullptr);
    bool hasPartialFrame() const { return !m_buffer.isEmpty(); }
    // Throws away the partial frame the master stopped sending and returns it.
    QByteArray dropPartialFrame();
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
