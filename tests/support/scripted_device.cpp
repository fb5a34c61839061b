#include "scripted_device.h"

#include <cstring>

#include "frames.h"

ScriptedDevice::ScriptedDevice(int station)
    : m_station(station),
      m_setting(new DeviceSetting(DEVICE_TYPE_SERIAL, QStringLiteral("COM2"), 9600, 8, 0, 2)),
      m_eventsForConst(&events)
{
}

ScriptedDevice::~ScriptedDevice() = default;

int ScriptedDevice::readData(char *data, int maxlen)
{
    readSizes.append(maxlen);
    events.append(QStringLiteral("read %1").arg(maxlen));
    while (!m_pending.isEmpty() && m_pending.first().isEmpty())
        m_pending.removeFirst();
    if (m_pending.isEmpty() || maxlen <= 0)
        return m_pending.isEmpty() ? m_readFailureResult : 0;
    QByteArray &chunk = m_pending.first();
    const int n = qMin(maxlen, chunk.size());
    memcpy(data, chunk.constData(), size_t(n));
    chunk.remove(0, n);
    return n;
}

int ScriptedDevice::writeData(const char *data, int len)
{
    const QByteArray frame(data, len);
    written.append(frame);
    events.append(QStringLiteral("write ") + toHex(frame));
    if (m_failingWrites > 0) {
        --m_failingWrites;
        m_pending.clear();
        return m_failingWriteResult;
    }
    m_pending.clear(); // an unread rest of the last reply never answers this request
    if (!m_queue.isEmpty()) {
        const Reply reply = m_queue.takeFirst();
        if (!reply.silent)
            m_pending = reply.chunks;
    } else if (m_responder) {
        const QByteArray answer = m_responder(frame);
        if (!answer.isEmpty())
            m_pending.append(answer);
    }
    return len;
}

bool ScriptedDevice::open()
{
    ++openCalls;
    events.append(QStringLiteral("open"));
    if (m_openFails)
        return false;
    m_open = true;
    return true;
}

void ScriptedDevice::close()
{
    ++closeCalls;
    events.append(QStringLiteral("close"));
    m_open = false;
}

DeviceSetting *ScriptedDevice::deviceSetting() const { return m_setting.get(); }

bool ScriptedDevice::isOpen() const { return m_open; }

int ScriptedDevice::retryCount() const { return m_retries; }

int ScriptedDevice::stationId() const { return m_station; }

unsigned long ScriptedDevice::delayTime() const
{
    ++delayCalls;
    m_eventsForConst->append(QStringLiteral("delay"));
    return m_delay;
}

QString ScriptedDevice::errorString() const { return m_errorString; }

void ScriptedDevice::queueReply(const QByteArray &reply)
{
    queueReply(QList<QByteArray>{reply});
}

void ScriptedDevice::queueReply(const QList<QByteArray> &chunks)
{
    Reply reply;
    reply.chunks = chunks;
    m_queue.append(reply);
}

void ScriptedDevice::queueSilence()
{
    Reply reply;
    reply.silent = true;
    m_queue.append(reply);
}

void ScriptedDevice::setResponder(std::function<QByteArray(const QByteArray &)> responder)
{
    m_responder = std::move(responder);
}

void ScriptedDevice::clearScript()
{
    m_queue.clear();
    m_pending.clear();
}

void ScriptedDevice::setDeviceString(const QString &text) { m_setting->deviceString = text; }

void ScriptedDevice::failWrites(int n, int result)
{
    m_failingWrites = n;
    m_failingWriteResult = result;
}
