#ifndef FUZZ_DEVICE_H
#define FUZZ_DEVICE_H

// The tests' scripted device with replies from the fuzz input. Every
// readData takes one control byte and then the bytes it delivers:
//
//   control & 0x03 == 0x03   the link fails: -1, nothing delivered
//   control & 0x03 == 0x02   nothing came: 0
//   otherwise                bytes are delivered:
//     0x80  exactly as many as asked for; else the next input byte is the
//           count, cut to what was asked for
//     0x40  header: the first read of a reply gets the station in byte 0 and
//           the request's function code in byte 1
//     0x20  with the header, the function code carries the exception flag
//     0x10  seal: the reply's last two bytes so far become the CRC of every
//           byte before them (reads of a reply go one after the other into
//           one buffer, so a byte of the previous read can be patched)
//   The delivered bytes follow in the input (zeros once it ends).
//
// The device also checks what the driver does to it: every request is a
// whole RTU frame for its station with a correct CRC and at most 256 bytes,
// and every read stays inside the 257-byte receive buffer, counted from
// where the first read of the reply went. Before delivering, a read fills
// all maxlen bytes it was offered, so that AddressSanitizer sees a buffer
// that is shorter than the driver claims. Opening, the link state, the
// station and the retries are the scripted device's.

#include "fuzz_support.h"
#include "support/scripted_device.h"

class FuzzDevice : public ScriptedDevice
{
public:
    FuzzDevice(FuzzInput &input, int station) : ScriptedDevice(station), m_input(input) {}

    int readData(char *data, int maxlen) override;
    int writeData(const char *data, int len) override;

    // The n-th write (counting from 1) sends one byte less than asked; 0: none.
    void setFailingWrite(int n) { m_failingWrite = n; }

private:
    FuzzInput &m_input;
    int m_failingWrite = 0;
    int m_writes = 0;
    QByteArray m_request;          // the last request written
    QByteArray m_reply;            // bytes delivered since then
    char *m_replyBuffer = nullptr; // where the first read of the reply went
};

#endif // FUZZ_DEVICE_H
