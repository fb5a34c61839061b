#ifndef COMMUNICATOR_COMMAND_H
#define COMMUNICATOR_COMMAND_H

#include <QString>

// One request of the runtime: what kind of items, how many, and where.
// Data type codes: 0 bit, 1 byte, 2 word, 3 double word, 4 64-bit item,
// 5 block of bytes, 6 bit of the second kind.
class CommunicatorCommand
{
public:
    CommunicatorCommand(int dataType = 0, int count = 0, const QString &address = QString())
        : m_dataType(dataType), m_count(count), m_address(address) {}

    int dataType() const { return m_dataType; }
    int count() const { return m_count; }
    QString address() const { return m_address; }

    void setDataType(int dataType) { m_dataType = dataType; }
    void setCount(int count) { m_count = count; }
    void setAddress(const QString &address) { m_address = address; }

private:
    int m_dataType;
    int m_count;
    QString m_address;
};

#endif // COMMUNICATOR_COMMAND_H
