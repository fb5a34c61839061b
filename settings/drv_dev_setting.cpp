#include "drv_dev_setting.h"

#include <QDebug>
#include <QIODevice>

DeviceSetting::DeviceSetting(device_type type, QString deviceString, int baudrate, int databits,
                             int stopbits, int parity)
    : DeviceSetting(type, deviceString, baudrate, databits, stopbits, parity, 0, QString())
{
}

DeviceSetting::DeviceSetting(device_type type, QString deviceString, int baudrate, int databits,
                             int stopbits, int parity, int extraValue, QString extraText)
    : type(type), deviceString(deviceString), baudrate(baudrate), databits(databits),
      stopbits(stopbits), parity(parity), extraValue(extraValue), extraText(extraText),
      linkID(-1), currentIPIndex(0)
{
}

int DeviceSetting::resolveIndex(int i) const
{
    const int index = (i == -1) ? currentIPIndex : i;
    return (index >= 0 && index < sockets.size()) ? index : -1;
}

void DeviceSetting::setCurrentIPIndex(int i)
{
    if (i >= 0 && i < sockets.size())
        currentIPIndex = i;
}

unsigned short DeviceSetting::port(int i) const
{
    const int index = resolveIndex(i);
    return index < 0 ? 0 : sockets.at(index).second;
}

QString DeviceSetting::socketIP(int i) const
{
    const int index = resolveIndex(i);
    return index < 0 ? QString() : sockets.at(index).first;
}

void DeviceSetting::setPort(unsigned short port, int i)
{
    const int index = resolveIndex(i);
    if (index >= 0)
        sockets[index].second = port;
}

void DeviceSetting::setSocketIP(const QString &ip, int i)
{
    const int index = resolveIndex(i);
    if (index >= 0)
        sockets[index].first = ip;
}

void DeviceSetting::setSocketData(const QList<QPair<QString, QString> > &socketTexts)
{
    sockets.clear();
    for (const QPair<QString, QString> &socket : socketTexts)
        sockets.append(qMakePair(socket.first, socket.second.toUShort(nullptr, 10)));
}

// The line is built in a string so that every item, the last one included,
// keeps the blank that the debug stream puts after it.
static void emitDumpLine(const QString &line)
{
    qt_message_output(QtDebugMsg, QMessageLogContext(), line);
}

void DeviceSetting::dump() const
{
    QString line;
    QDebug(&line) << "type:" << uint(type) << "string:" << deviceString
                  << "baudrate:" << baudrate << "databits:" << databits
                  << "stopbits:" << stopbits << "parity:" << parity << "linkID:" << linkID
                  << "current ip:" << socketIP(-1) << "current port:" << uint(port(-1));
    emitDumpLine(line);
}

DriverSetting::DriverSetting(int timeout, int retry, int stationid, int delay)
    : timeout(timeout), retry(retry), stationid(stationid), delay(delay), extraFlag(false)
{
}

DriverSetting::DriverSetting(int timeout, int retry, int stationid, int delay,
                             const QString &, unsigned short)
    : DriverSetting(timeout, retry, stationid, delay)
{
}

DriverSetting::DriverSetting(int timeout, int retry, int stationid, int delay, const QString &,
                             unsigned short, const QString &extraText, bool extraFlag)
    : timeout(timeout), retry(retry), stationid(stationid), delay(delay), extraText(extraText),
      extraFlag(extraFlag)
{
}

void DriverSetting::copy(const DriverSetting &other)
{
    timeout = other.timeout;
    retry = other.retry;
    stationid = other.stationid;
    delay = other.delay;
    extraText = other.extraText;
}

void DriverSetting::dump() const
{
    QString line;
    QDebug(&line) << "timeout:" << timeout << "retry:" << retry << "stationid:" << stationid
                  << "delay:" << delay;
    emitDumpLine(line);
}

QDataStream &operator<<(QDataStream &out, const DeviceSetting &setting)
{
    out << qint32(setting.type) << setting.deviceString << qint32(setting.baudrate)
        << qint32(setting.databits) << qint32(setting.stopbits) << qint32(setting.parity)
        << qint32(setting.extraValue) << qint32(setting.linkID) << qint32(setting.currentIPIndex);
    out << setting.sockets;
    return out;
}

namespace {

// The socket list in the framework's list form (count, then the pairs; an
// incomplete pair empties the list), read pair by pair. The framework's own
// list reader reserves room for the count first, so a corrupt count of a few
// billion would end in a failed allocation instead of a stream error. As
// there, an error status from earlier fields is put aside while the list is
// read and restored afterwards.
QList<QPair<QString, unsigned short> > readSockets(QDataStream &in)
{
    const QDataStream::Status before = in.status();
    if (!in.device() || !in.device()->isTransactionStarted())
        in.resetStatus();
    QList<QPair<QString, unsigned short> > sockets;
    quint32 count = 0;
    in >> count;
    for (quint32 i = 0; i < count; ++i) {
        QPair<QString, unsigned short> socket;
        in >> socket.first >> socket.second;
        if (in.status() != QDataStream::Ok) {
            sockets.clear();
            break;
        }
        sockets.append(socket);
    }
    if (before != QDataStream::Ok) {
        in.resetStatus();
        in.setStatus(before);
    }
    return sockets;
}

} // namespace

QDataStream &operator>>(QDataStream &in, DeviceSetting &setting)
{
    qint32 type = 0, baudrate = 0, databits = 0, stopbits = 0, parity = 0, extraValue = 0,
           linkID = 0, currentIPIndex = 0;
    in >> type;
    setting.type = device_type(type);
    in >> setting.deviceString >> baudrate >> databits >> stopbits >> parity >> extraValue
       >> linkID >> currentIPIndex;
    setting.baudrate = baudrate;
    setting.databits = databits;
    setting.stopbits = stopbits;
    setting.parity = parity;
    setting.extraValue = extraValue;
    setting.linkID = linkID;
    // The index is checked against the sockets held before the stream's list
    // replaces them: a freshly constructed record therefore keeps index 0.
    setting.setCurrentIPIndex(currentIPIndex);
    setting.sockets = readSockets(in);
    return in;
}

QDataStream &operator<<(QDataStream &out, const DriverSetting &setting)
{
    return out << qint32(setting.timeout) << qint32(setting.retry) << qint32(setting.stationid)
               << qint32(setting.delay);
}

QDataStream &operator>>(QDataStream &in, DriverSetting &setting)
{
    qint32 timeout = 0, retry = 0, stationid = 0, delay = 0;
    in >> timeout >> retry >> stationid >> delay;
    setting.timeout = timeout;
    setting.retry = retry;
    setting.stationid = stationid;
    setting.delay = delay;
    return in;
}
