#ifndef DEVICE_TEST_UTIL_H
#define DEVICE_TEST_UTIL_H

// The slave's side of a device test as raw reads and writes on a descriptor
// (a socket or a pseudo-terminal), and the echo cases both devices meet.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <poll.h>
#include <unistd.h>

#include "host_test_util.h"
#include "settings/abstract_device_interface.h"

struct FdPeer
{
    // Up to n bytes, waiting a generous while for them.
    QByteArray take(int n) const
    {
        QByteArray got(n, '\0');
        int have = 0;
        for (pollfd in = {fd, POLLIN, 0}; have < n && ::poll(&in, 1, 5000) == 1;) {
            const ssize_t r = ::read(fd, got.data() + have, size_t(n - have));
            if (r <= 0)
                break;
            have += int(r);
        }
        return got.left(have);
    }
    void put(const QByteArray &bytes) const { ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size()); }
    int fd = -1;
};

struct EchoCase
{
    const char *what;
    int timeoutMs; // the device's response time-out
    bool echo, garbled, reply; // what the slave's side sends after the request
    const char *error;         // empty: the reply is read
};

// Rows in which the echo or the reply never completes wait the time-out.
inline const EchoCase kEchoCases[] = {
    {"the echo, then the reply", 5000, true, false, true, ""},
    {"an echo with one byte changed, then the reply", 5000, true, true, true, "echo did not match the request"},
    {"only the reply", 500, false, false, true, "echo did not match the request"},
    {"nothing", 500, false, false, false, "no echo of the request"},
};

// One request through a device with echo on, the slave's side answering as
// the case says; then one more request, answered properly, must go through.
inline void checkEchoCase(AbstractDeviceInterface &device, const FdPeer &slave, const EchoCase &c)
{
    SCOPED_TRACE(c.what);
    const QByteArray request = rtuFrame("01 03 00 00 00 01"), reply = rtuFrame("01 03 02 12 34");
    QByteArray echo = request;
    echo[3] = char(echo[3] ^ (c.garbled ? 0x10 : 0));
    for (const bool asTheCaseSays : {true, false}) {
        ASSERT_EQ(device.writeData(request.constData(), request.size()), request.size());
        EXPECT_EQ(slave.take(request.size()), request);
        slave.put((!asTheCaseSays || c.echo ? echo : "") + (!asTheCaseSays || c.reply ? reply : ""));
        echo = request;
        QByteArray got(reply.size(), '\0');
        const bool fails = asTheCaseSays && *c.error;
        EXPECT_EQ(device.readData(got.data(), got.size()), fails ? 0 : reply.size());
        EXPECT_EQ(got, fails ? QByteArray(reply.size(), '\0') : reply);
        if (fails) {
            EXPECT_EQ(device.errorString(), QString::fromLatin1(c.error));
        }
    }
}

#endif // DEVICE_TEST_UTIL_H
