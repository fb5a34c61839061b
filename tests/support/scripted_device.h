#ifndef SCRIPTED_DEVICE_H
#define SCRIPTED_DEVICE_H

// A stand-in for the runtime's device that every driver test shares. It
// records every frame written and answers with programmed replies, delivered
// in the chunks the test chooses:
//
//   - queueReply(bytes) answers the next request; the bytes form one chunk,
//     so each readData takes as much of it as it asks for (a device that
//     answers at once).
//   - queueReply({chunk1, chunk2, ...}) delivers the reply so that no single
//     readData crosses a chunk boundary: a chunk of 3 bytes answers a read of
//     5 with 3.
//   - queueSilence() lets the next request go unanswered.
//   - setResponder(f) answers every request for which nothing is queued.
//
// A reply belongs to the request written just before it: bytes of a reply
// that the driver did not read are dropped when the next request is written.
// When nothing is left, readData returns readFailureResult() (0 by default).

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <functional>
#include <memory>

#include "settings/abstract_device_interface.h"
#include "settings/drv_dev_setting.h"

class ScriptedDevice : public AbstractDeviceInterface
{
public:
    explicit ScriptedDevice(int station = 1);
    ~ScriptedDevice() override;

    // ---- AbstractDeviceInterface ----
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

    // ---- Script ----
    void queueReply(const QByteArray &reply);
    void queueReply(const QList<QByteArray> &chunks);
    void queueSilence();
    void setResponder(std::function<QByteArray(const QByteArray &request)> responder);
    void clearScript();

    // ---- Settings and faults ----
    void setStation(int station) { m_station = station; }
    void setRetryCount(int retries) { m_retries = retries; }
    void setDelay(unsigned long ms) { m_delay = ms; }
    void setErrorString(const QString &text) { m_errorString = text; }
    void setDeviceString(const QString &text);
    void setOpenState(bool open) { m_open = open; }
    // open() fails (and leaves the link closed) while set.
    void setOpenFails(bool fails) { m_openFails = fails; }
    // The next n writes return `result` instead of the frame length.
    void failWrites(int n, int result = 0);
    // What readData returns when no reply byte is left (0 or negative).
    void setReadFailureResult(int result) { m_readFailureResult = result; }
    int readFailureResult() const { return m_readFailureResult; }

    // ---- Records ----
    QList<QByteArray> written;    // every frame written, in order
    QList<int> readSizes;         // maxlen of every readData call
    QStringList events;           // "write <hex>", "read <n>", "delay", "open", "close"
    int openCalls = 0;
    int closeCalls = 0;
    mutable int delayCalls = 0;   // each delayTime() call, i.e. each pause the driver takes

private:
    struct Reply
    {
        bool silent = false;
        QList<QByteArray> chunks;
    };

    int m_station;
    int m_retries = 0;
    unsigned long m_delay = 0;
    QString m_errorString = QStringLiteral("write failed");
    bool m_open = true;
    bool m_openFails = false;
    int m_failingWrites = 0;
    int m_failingWriteResult = 0;
    int m_readFailureResult = 0;
    std::unique_ptr<DeviceSetting> m_setting;
    QList<Reply> m_queue;
    QList<QByteArray> m_pending; // chunks of the reply to the last request
    std::function<QByteArray(const QByteArray &)> m_responder;
    mutable QStringList *m_eventsForConst;
};

#endif // SCRIPTED_DEVICE_H
