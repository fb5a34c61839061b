#ifndef HOST_SERIAL_DEVICE_H
#define HOST_SERIAL_DEVICE_H

// The runtime's device object for Modbus RTU slaves on a serial line (an
// RS-485 adapter, a pseudo-terminal), over QSerialPort. Callers run no Qt
// event loop: every wait is one of QSerialPort's blocking waits.
//
// Before a request the device waits until the line has been quiet for the
// frame gap (3.5 character times; 1.75 ms above 19,200 baud) and throws away
// whatever came before it, so neither a late reply nor noise answers the
// request. readData waits until maxlen bytes have come or the response
// time-out has passed (counted from the end of the request on the line for
// the first read after one, from the call for later ones) and returns what
// came: 0 when nothing came in time, -1 when the port broke with nothing
// received.
//
// With echo on (half-duplex adapters that hand back what they send), the
// first read after a request first takes exactly the request's bytes back
// and compares them; an echo that differs or does not come fails the request
// (readData returns 0 until the next request, errorString says why) and the
// line is drained.
//
// A port that broke (adapter unplugged, the other end of a pseudo-terminal
// closed) is closed; open() opens it again. The QSerialPort is made in open(),
// so it belongs to the thread that opens the device; use the device from one
// thread at a time, the one that opened it.

#include <QByteArray>
#include <QString>
#include <memory>

#include "host/device/host_device.h"
#include "settings/drv_dev_setting.h"

class QSerialPort;

struct SerialDeviceSettings
{
    // "/dev/ttyUSB0", or a name below /dev ("ttyUSB0").
    QString portName = QStringLiteral("/dev/ttyUSB0");
    int baudRate = 9600;
    char parity = 'E'; // 'N', 'E' or 'O'
    int dataBits = 8;  // 7 or 8
    int stopBits = 1;  // 1 or 2
    int stationId = 1;
    int retryCount = 0;
    unsigned long delayMs = 0;
    int responseTimeoutMs = 1000;
    // Names the link in the project database (LINK.HMIPORT).
    QString deviceString = QStringLiteral("COM2");
    // The adapter hands every request back before the reply.
    bool echo = false;
};

// Why the device cannot open a line with these settings; empty when it can.
QString serialSettingsError(const SerialDeviceSettings &settings);
// One character on the line (start, data, parity and stop bits), in microseconds.
qint64 serialCharacterUs(const SerialDeviceSettings &settings);
// The silence that ends a frame, in microseconds: 3.5 character times, and
// 1750 above 19,200 baud.
qint64 serialFrameGapUs(const SerialDeviceSettings &settings);

class SerialDevice : public HostDevice
{
public:
    explicit SerialDevice(const SerialDeviceSettings &settings);
    ~SerialDevice() override;
    SerialDevice(const SerialDevice &) = delete;
    SerialDevice &operator=(const SerialDevice &) = delete;

    int readData(char *data, int maxlen) override;
    int writeData(const char *data, int len) override;
    bool open() override;
    void close() override;
    DeviceSetting *deviceSetting() const override;
    bool isOpen() const override;
    int retryCount() const override;
    int stationId() const override;
    unsigned long delayTime() const override;
    QString errorString() const override;

    const SerialDeviceSettings &settings() const { return m_settings; }
    // Successful opens so far.
    int openCount() const { return m_opens; }
    // The open port's descriptor, -1 when closed; for tools that watch the
    // line itself. Whatever they read from it never reaches this device.
    int portDescriptor() const;

private:
    // Waits, taking and discarding every byte that comes, until the line has
    // been quiet for the frame gap; false when it did not go quiet within the
    // response time-out or the port broke (then closed).
    bool waitForQuietLine();
    // Reads into data until want bytes have come or the deadline (monotonic
    // microseconds) has passed; returns how many came. *broken is set when
    // the port broke (it is then closed).
    int gather(char *data, int want, qint64 deadlineUs, bool *broken);
    // After a blocking wait returned false: true when it only ran out of
    // time, false when the port broke (it is then closed, the error set,
    // naming what failed unless the port is gone).
    bool onlyTimedOut(const QString &what);
    // Takes the request's echo at the start of the first read after it;
    // 1 when it matched, else readData's result.
    int takeEcho(qint64 deadlineUs);
    // A wait of waitUs cut to the observer's slice while one watches.
    qint64 observed(qint64 waitUs) const;
    // False when the observer abandons the wait.
    bool stillWanted() const;
    void lose(const QString &what);
    void closePort();

    SerialDeviceSettings m_settings;
    std::unique_ptr<DeviceSetting> m_setting;
    std::unique_ptr<QSerialPort> m_port;
    int m_opens = 0;
    // When the last byte went out or came in, and when the last request
    // left the line (monotonic microseconds).
    qint64 m_lastActivityUs = 0;
    qint64 m_requestUs = 0;
    // Whether the first read after the last request is still to come.
    bool m_awaitingReply = false;
    // The request whose echo the next read takes first; empty when none.
    QByteArray m_expectedEcho;
    // The last request's echo was wrong or missing: reads fail until the next request.
    bool m_echoFailed = false;
    QString m_error;
};

#endif // HOST_SERIAL_DEVICE_H
