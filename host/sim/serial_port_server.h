#ifndef HOST_SIM_SERIAL_PORT_SERVER_H
#define HOST_SIM_SERIAL_PORT_SERVER_H

// The serving side of a serial line: opens a port (a USB–RS-485 adapter, one
// end of a pseudo-terminal pair) raw, with its baud rate and character
// format, and runs a handler on a thread of its own with the port's
// descriptor. When the handler returns because the port broke (an adapter
// pulled out, the other end of the pair gone), the port is closed and opened
// again every 100 ms until it is back or the server stops. stop() wakes the
// handler's waits (its polls watch wakeFd(), its sleeps go through pause())
// and joins the thread.

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "host/sim/wake_pipe.h"

namespace sim {

struct SerialPortSettings
{
    std::string path;
    int baud = 9600;
    char parity = 'E'; // 'N', 'E' or 'O'
    int dataBits = 8;  // 7 or 8
    int stopBits = 1;  // 1 or 2
};

// Opens path as a raw serial line with these settings; the descriptor, or -1
// with the reason.
int openSerialPort(const SerialPortSettings &settings, QString *error);

class SerialPortServer
{
public:
    // Runs on the server's thread with the port's descriptor, until the port
    // breaks or the server stops.
    using Handler = std::function<void(int fd)>;

    explicit SerialPortServer(Handler handler) : m_handler(std::move(handler)) {}
    ~SerialPortServer();
    SerialPortServer(const SerialPortServer &) = delete;
    SerialPortServer &operator=(const SerialPortServer &) = delete;

    // Opens the port and starts serving it; false with the reason when it cannot.
    bool start(const SerialPortSettings &settings, QString *error);
    void stop();

    int wakeFd() const { return m_wake.fd(); }
    // Sleeps ms unless the server stops first; false when it stops.
    bool pause(int ms) const { return m_wake.pause(ms); }
    // Times the port was opened, the first one included.
    uint64_t opens() const { return m_opens; }

private:
    void run(int fd);

    Handler m_handler;
    SerialPortSettings m_settings;
    WakePipe m_wake;
    std::thread m_thread;
    std::atomic<uint64_t> m_opens{0};
    bool m_running = false;
};

} // namespace sim

#endif // HOST_SIM_SERIAL_PORT_SERVER_H
