#ifndef HOST_SOAK_MODEL_H
#define HOST_SOAK_MODEL_H

// The bookkeeping of the soak run (mbrtu_soak): the requests it sends through
// the driver, a shadow of the slave's data from which the value of every read
// is known in advance, and the judgement of error texts.
//
// The slave's data change only through the soak's own writes. An acknowledged
// write makes the bits it wrote known; a failed one may or may not have
// reached the slave (or reached part of it), so the bits it would have
// written become unknown until a later write succeeds. Reads are checked on
// their known bits only. The simulated slave starts with data the soak put
// there, so everything is known from the start; of an external slave nothing
// is known until the soak has written it (and input registers and discrete
// inputs, never written, are never known).

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <random>
#include <vector>

#include "settings/data_type.h"

namespace soak {

enum class Table { HoldingRegisters, InputRegisters, Coils, DiscreteInputs };

// How a request's bytes map onto the slave's data.
enum class Shape {
    Words,        // registers, two bytes each, low byte first
    DWords,       // register pairs, four bytes each; word order by highWordFirst
    Bytes,        // register bytes, low byte of a register first
    RegisterBits, // bits inside registers from bit offset `bit` on
    Bits,         // coils or discrete inputs, one bit each
    SparseBytes   // bytes of coils or inputs; only configured addresses are read
};

struct Request
{
    QString kind;        // what the summary counts it as, e.g. "write word FN6"
    bool write = false;
    Table table = Table::HoldingRegisters;
    Shape shape = Shape::Words;
    DataType dataType = WordData;
    int count = 1;       // items of the data type
    int start = 0;       // zero-based register, coil or input
    int bit = 0;         // bit offset inside the first register
    bool highWordFirst = false;
    bool oneByOne = false; // FN6HR or FN5DO: function 6 or 5, one item per request
    QString address;     // as handed to the driver
    QByteArray data;     // write data, in the runtime's order
};

// A bit of the slave's data.
struct Target
{
    Table table = Table::HoldingRegisters;
    int address = 0;
    int bit = 0; // inside a register; 0 otherwise
};

class Shadow
{
public:
    explicit Shadow(bool slaveDataKnown = true);

    // Starting values; every bit known.
    std::vector<uint16_t> holdingRegisters;
    std::vector<uint16_t> inputRegisters;
    std::vector<uint8_t> coils;
    std::vector<uint8_t> discreteInputs;
    // Addresses the project database configures (sparse byte reads).
    std::vector<uint8_t> configuredInputs;
    std::vector<uint8_t> configuredCoils;

    bool known(const Target &target) const;
    int value(const Target &target) const;
    // Known bits of a holding register, as a mask.
    uint16_t knownMask(int address) const { return m_registerKnown[std::size_t(address)]; }

    // The bytes a successful read must return, and which of their bits are
    // known (1) and so must match.
    struct Expectation
    {
        QByteArray bytes;
        QByteArray known;
    };
    Expectation expectRead(const Request &request) const;

    // Records a write's outcome.
    void applyWrite(const Request &request, bool acknowledged);

private:
    void set(const Target &target, int value);
    void forget(const Target &target);

    std::vector<uint16_t> m_registerKnown;
    std::vector<uint8_t> m_coilKnown;
    bool m_inputsKnown;
};

// The slave bit that bit i of a request's data (read result or write data)
// stands for; false for a bit that stands for none (padding, or an address
// a sparse read leaves out).
bool targetOf(const Request &request, const Shadow &shadow, int i, Target *target);

// Bits of the request's data: of the read result, or of the write as it
// reaches the registers (an odd byte count writes a zero high byte).
int dataBits(const Request &request);

// Size in bytes of the result of a successful read.
int readResultSize(const Request &request);

// Protocol exchanges one attempt of the request may make at most (the sparse
// reads need the shadow's configured addresses).
int exchangesPerAttempt(const Request &request, const Shadow &shadow);

// The description the driver appends to the error of a failed request:
// " (read 3 word(s) from 17-HR5)", or nothing for the data types it does not
// describe.
QString describeFailure(const Request &request, int station);

// Judges the error text of a failed request. A known text is one of the
// driver's Modbus texts, followed by the request's description where the
// driver gives one, or a text of the TCP device, with or without it. key is
// the text without the description, numbers of station and exception
// replaced by their format.
struct ErrorVerdict
{
    bool known = false;
    QString key;
};
ErrorVerdict judgeError(const QString &text, const Request &request, int station);

// Where the requests go: windows of the address space from first on.
// Requests fit their window, which may be smaller than the protocol's limits.
struct Layout
{
    int first = 0;
    int holdingRegisters = 400;
    int inputRegisters = 1000;
    int coils = 3000;
    int discreteInputs = 3000;
};

// Draws requests of every kind the driver serves, within both the driver's
// and the slave's limits.
class RequestGenerator
{
public:
    RequestGenerator(uint64_t seed, const Layout &layout);
    Request next();

private:
    int uniform(int low, int high); // both included
    bool chance(double p);
    // Mostly small counts, sometimes up to the limit.
    int countUpTo(int limit);
    QString prefix(const char *upper);

    Request readRegisters(Shape shape, Table table, bool fn6);
    Request readBits(Table table, bool fn5);
    Request readSparse(Table table, bool fn5);
    Request writeRegisters(Shape shape, bool fn6);
    Request writeCoils(bool fn5);

    std::mt19937_64 m_random;
    Layout m_layout;
};

} // namespace soak

#endif // HOST_SOAK_MODEL_H
