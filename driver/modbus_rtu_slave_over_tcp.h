#ifndef MODBUS_RTU_SLAVE_OVER_TCP_H
#define MODBUS_RTU_SLAVE_OVER_TCP_H

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QRegExp>
#include <QString>
#include <functional>

#include "../settings/abstract_device_interface.h"
#include "../settings/communicator_command.h"
#include "../settings/driver_interface.h"
#include "../settings/drv_dev_setting.h"
#include "attempt_outcome.h"
#include "bitset/modbus_bit_set.h"

class QThread;
struct RegisterPayload;
struct RtuRequest;

// Modbus RTU master over the runtime's byte link. One object serves one
// runtime; it is called from one thread at a time.
//
// The definitions are split by concern:
//   modbus_rtu_slave_over_tcp.cpp  identity, error state, entry points
//   read_dispatch.cpp, write_dispatch.cpp, attempts.cpp
//                                  read and write: gate, parse, attempts, routing
//   reply_checks.cpp, exchange.cpp the first five reply bytes; send and receive
//   register_reads.cpp, coil_reads.cpp, sparse_reads.cpp
//   register_writes.cpp, fn6_writes.cpp, coil_writes.cpp
//   database.cpp                   database gate and valid bit address map
//   comm_error.cpp                 request descriptions for failed requests
class DriverModbusRtuSlaveOverTcp : public QObject, public DriverInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.dorvalic.drivers.DriverInterface/1.1")
    Q_INTERFACES(DriverInterface)

public:
    DriverModbusRtuSlaveOverTcp();
    ~DriverModbusRtuSlaveOverTcp() override;

    // ---- DriverInterface ----
    int totalSize() override;
    bool write(AbstractDeviceInterface *device, const CommunicatorCommand &command,
               const QByteArray &data) override;
    QByteArray read(AbstractDeviceInterface *device, const CommunicatorCommand &command) override;
    bool initialize(AbstractDeviceInterface *device) override;
    bool validation(const QString &text) override;
    QString name() override;
    QString vender() override;
    QString getVersionNumber() override;
    DeviceSetting *getDefaultSerialDeviceSetting() override;
    DriverSetting *getDefaultDriverSetting() override;
    QString getStringBasedDefaultDriverSetting() override;
    int supportedCommunicationFlags() override;
    void setDebugMode(bool on) override;
    int getBlockAccessSize() override;
    int getBitBlockAccessSize() override;
    bool hasError() override;
    QString getLastError() override;
    QObject *getThisObject() override;
    bool isConnected(AbstractDeviceInterface *device) override;

    // ---- Error state ----
    void setCommError(const QString &text);
    void clearError();

    // ---- Reply checks of the first five bytes ----
    bool checkMinADU(AbstractDeviceInterface *device, const char *reply, int received);
    bool checkException(const char *reply, unsigned char function);

    // ---- Read transactions (one attempt each; empty result on failure) ----
    QByteArray readWords(AbstractDeviceInterface *device, const QByteArray &prefix,
                         unsigned short address, int count);
    QByteArray readDWords(AbstractDeviceInterface *device, const QByteArray &prefix,
                          unsigned short address, int count, bool highWordFirst);
    QByteArray readBytes(AbstractDeviceInterface *device, const QByteArray &prefix,
                         unsigned short address, int count);
    QByteArray readIRHRbits(AbstractDeviceInterface *device, const QByteArray &prefix,
                            unsigned short address, unsigned char bit, int count);
    QByteArray readDIDOs(AbstractDeviceInterface *device, const QByteArray &prefix,
                         unsigned short address, int count);
    QByteArray readBytesFromDI(AbstractDeviceInterface *device, unsigned short start, int count);
    QByteArray readBytesFromDO(AbstractDeviceInterface *device, unsigned short start, int count);

    // ---- Write transactions (one attempt each) ----
    bool writeWords(AbstractDeviceInterface *device, unsigned short address, const QByteArray &data);
    bool writeDWords(AbstractDeviceInterface *device, unsigned short address, const QByteArray &data,
                     bool highWordFirst);
    bool writeBytes(AbstractDeviceInterface *device, unsigned short address, const QByteArray &data);
    bool writeHRbit(AbstractDeviceInterface *device, unsigned short address, unsigned char bit,
                    const QByteArray &bits, int count);
    bool writeWordWithFN6(AbstractDeviceInterface *device, unsigned short address,
                          const QByteArray &wireValue);
    bool writeWordsWithFN6(AbstractDeviceInterface *device, unsigned short address,
                           const QByteArray &data);
    bool writeBytesWithFN6(AbstractDeviceInterface *device, unsigned short address,
                           const QByteArray &data);
    bool writeDWordsWithFN6(AbstractDeviceInterface *device, unsigned short address,
                            const QByteArray &data, bool highWordFirst);
    bool writeHRbitWithFN6(AbstractDeviceInterface *device, unsigned short address,
                           unsigned char bit, const QByteArray &bits, int count);
    bool writeCoils(AbstractDeviceInterface *device, unsigned short address, const QByteArray &bits,
                    int count);
    bool writeCoilsWithFN5(AbstractDeviceInterface *device, unsigned short address,
                           const QByteArray &bits, int count);

    // ---- Request descriptions appended to the last error ----
    void appendCmdToReadCommError(unsigned char station, const CommunicatorCommand &command);
    void appendCmdToWriteCommError(unsigned char station, const CommunicatorCommand &command);

    // ---- Project database and valid bit addresses ----
    // Registers and opens the driver's connection, unless this thread
    // registered it already; a connection of another thread is dropped first.
    bool createDBConnection();
    bool readDB(const QString &deviceString);
    bool initValidBitAddressesMap(int connectorId, unsigned char defaultStation);
    void validBitAddressesMapInsertDI(unsigned char station, unsigned short address);
    void validBitAddressesMapInsertDO(unsigned char station, unsigned short address);

private:
    // The map gate of every request: loads the valid bit addresses on the
    // first request (and on every request until a load succeeds) with the
    // device string of the device's settings.
    bool ensureValidBitAddresses(AbstractDeviceInterface *device);

    // The frame of every read and write request: before each attempt the
    // device's delay, the error flag cleared and the link reopened, then
    // attempt(), which returns an Attempted<Result>. Attempts repeat while
    // one comes to Retry and the device's retry count allows. Returns the
    // last attempt, or a stopped one when the link could not be reopened
    // (its error text is set).
    template <typename Attempt>
    auto runAttempts(AbstractDeviceInterface *device, Attempt &&attempt) -> decltype(attempt())
    {
        using Result = decltype(attempt().result);
        for (int attempts = 0;; ++attempts) {
            if (!beginAttempt(device))
                return stopped<Result>();
            auto last = attempt();
            // The retry count is asked anew after every failed attempt.
            if (last.outcome != AttemptOutcome::Retry || attempts >= device->retryCount())
                return last;
        }
    }
    // Before each attempt: the device's delay, the error flag cleared and the
    // link reopened if it is closed. False, with the error set, when it
    // cannot be reopened.
    bool beginAttempt(AbstractDeviceInterface *device);

    // Sends the request and receives its reply into reply (257 bytes): the
    // first five bytes, checked, then restLength more, then the CRC test over
    // all 5 + restLength bytes. Sets the error and handles the link on failure.
    bool exchange(AbstractDeviceInterface *device, const RtuRequest &request, char *reply,
                  int restLength);
    // The exchange of every write request: the reply is the 8-byte
    // acknowledgement (or a 5-byte exception reply).
    bool writeExchange(AbstractDeviceInterface *device, const RtuRequest &request);
    // One function 3 or 4 request for `registers` registers after the limit
    // check; `item` names the unit in the refusal text. On success the
    // reply holds the register data after its head.
    bool requestRegisters(AbstractDeviceInterface *device, const QByteArray &prefix,
                          unsigned short address, quint64 registers, const char *item, char *reply);
    // count registers (longs: double words) of wire data in the runtime's
    // order, the first size bytes of them; null for a count of 0 or less.
    // Written to the storage of the last such result when the runtime no
    // longer holds it, so that a poll allocates nothing (allocations per
    // request: bench/request_cost_bench.cpp).
    QByteArray registerResult(const char *wire, int count, bool longs, int size);

    // False, with the refusal text naming `item`, when `registers` holding
    // registers from address leave the address space or exceed one write.
    bool registerWriteFits(unsigned short address, quint64 registers, const char *item);
    // The payload in one function-16 request, or register by register with
    // function 6 and the device's delay between registers; limits checked first.
    bool writeRegistersFn16(AbstractDeviceInterface *device, unsigned short address,
                            const RegisterPayload &payload);
    bool writeRegistersFn6(AbstractDeviceInterface *device, unsigned short address,
                           const RegisterPayload &payload);
    // Function-6 requests for the registers of wire (wire order, two bytes
    // each) from address on, stopping at the first failure.
    bool writeSingleRegisters(AbstractDeviceInterface *device, unsigned short address,
                              const QByteArray &wire, bool pauseBetween);
    // Reads the holding registers that bits bit .. bit+count-1 fall into and
    // sets those bits to the given values; empty when the read failed.
    QByteArray readRegistersWithBits(AbstractDeviceInterface *device, unsigned short address,
                                     unsigned char bit, const QByteArray &bits, int count);

    // What tells the sparse DI and DO byte reads apart: the station set they
    // consult, the area they read and their text for a station without entry.
    struct SparseArea;
    // Reads count bytes of bits from start on, asking the device only for the
    // runs of addresses configured in the area's set: one readDIDOs per run,
    // the device's delay between runs, an empty result if any run fails.
    QByteArray readConfiguredBits(AbstractDeviceInterface *device, const SparseArea &area,
                                  unsigned short start, int count);

    bool commError;
    bool debugMode;
    bool databaseOpen;
    bool validBitAddressesLoaded;
    // Station-prefixed tag addresses; the map load scans for exactly this
    // shape with ModbusRTUSlaveClassifyTagAddress (tag_address.h).
    QRegExp bitAddressRegExp;
    QString lastError;
    QString connectionName;
    // The thread that last registered the connection; null before the first.
    QThread *connectionThread;
    QMap<unsigned char, ModbusBitSet> validBitAddressesMap;
    // The last register read's result; see registerResult.
    QByteArray lastRegisterResult;
};

extern "C" {
// A new driver owned by the caller.
Q_DECL_EXPORT DriverInterface *CreateDriver();
// The plug-in verification text of the runtime's framework build.
Q_DECL_EXPORT const char *qt_plugin_query_verification_data();
}

#endif // MODBUS_RTU_SLAVE_OVER_TCP_H
