#ifndef SCRIPTED_DEVICE_H
#define SCRIPTED_DEVICE_H

// A stand-in for the runtime's device that every driver test shares. It
// records what the driver does and answers each request written with the next
// queued reply, or else with what the responder returns for the request:
//
//   - a queued reply is a list of chunks, and no single readData crosses a
//     chunk boundary (a chunk of 3 bytes answers a read of 5 with 3); an
//     empty list leaves the request unanswered;
//   - bytes of a reply that the driver did not read are dropped when the next
//     request is written; when no byte is left, readData returns 0.

#include <QStringList>
#include <cstring>
#include <functional>

#include "settings/abstract_device_interface.h"
#include "settings/drv_dev_setting.h"

class ScriptedDevice : public AbstractDeviceInterface
{
public:
    explicit ScriptedDevice(int station = 1) : station(station) {}

    int readData(char *data, int maxlen) override
    {
        readSizes.append(maxlen);
        while (!pending.isEmpty() && pending.first().isEmpty())
            pending.removeFirst();
        if (pending.isEmpty())
            return 0;
        const int n = qMin(maxlen, pending.first().size());
        memcpy(data, pending.first().constData(), size_t(n));
        pending.first().remove(0, n);
        return n;
    }
    int writeData(const char *data, int len) override
    {
        written.append(QByteArray(data, len));
        events.append(QStringLiteral("W"));
        pending.clear();
        if (shortWrites > 0) {
            --shortWrites;
            return len - 1;
        }
        if (!replies.isEmpty())
            pending = replies.takeFirst();
        else if (responder)
            pending.append(responder(written.last()));
        return len;
    }
    bool open() override { events.append(QStringLiteral("O")); return opened = !openFails; }
    void close() override { events.append(QStringLiteral("C")); opened = false; }
    DeviceSetting *deviceSetting() const override { return &setting; }
    bool isOpen() const override { return opened; }
    int retryCount() const override { return retries; }
    int stationId() const override { return station; }
    unsigned long delayTime() const override { events.append(QStringLiteral("D")); return delay; }
    QString errorString() const override { return QStringLiteral("link down"); }

    // The reply to the next request in chunks; no chunks: no answer.
    void queue(const QList<QByteArray> &chunks) { replies.append(chunks); }

    // ---- Settings and faults ----
    int station;
    int retries = 0;
    unsigned long delay = 0;
    bool opened = true;
    bool openFails = false; // open() fails and leaves the link closed
    int shortWrites = 0;    // the next writes that report one byte less than the frame
    std::function<QByteArray(const QByteArray &request)> responder;
    mutable DeviceSetting setting{DEVICE_TYPE_SERIAL, QStringLiteral("COM2"), 9600, 8, 0, 2};

    // ---- Records ----
    QList<QByteArray> written;  // every frame written, in order
    QList<int> readSizes;       // maxlen of every readData call
    mutable QStringList events; // in order: W a frame written, D a pause asked for, O open, C close

private:
    QList<QList<QByteArray>> replies;
    QList<QByteArray> pending; // chunks of the reply to the last request
};

#endif // SCRIPTED_DEVICE_H
