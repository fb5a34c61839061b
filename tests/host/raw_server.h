#ifndef HOST_TEST_RAW_SERVER_H
#define HOST_TEST_RAW_SERVER_H

// A bare TCP server on a loopback port, for the peers the simulated slave
// never is: one that resets, one that answers garbage, one that never
// accepts. Each connection is handed to the handler on the server's thread.

#include <QtGlobal>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

class RawServer
{
public:
    using Handler = std::function<void(int client)>;

    // Without a handler the server listens with a backlog of 0 and never accepts.
    explicit RawServer(Handler handler = Handler())
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(m_fd, handler ? 4 : 0);
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        if (handler)
            m_thread = std::thread([this, handler] {
                int client;
                while ((client = ::accept(m_fd, nullptr, nullptr)) >= 0) {
                    handler(client);
                    ::close(client);
                }
            });
    }
    ~RawServer()
    {
        ::shutdown(m_fd, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_fd);
    }
    quint16 port() const { return m_port; }

private:
    int m_fd;
    quint16 m_port;
    std::thread m_thread;
};

#endif // HOST_TEST_RAW_SERVER_H
