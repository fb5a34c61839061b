#ifndef COMMUNICATOR_COMMAND_H
#define COMMUNICATOR_COMMAND_H

#include <QString>

#include "data_type.h"

// One request of the runtime: what kind of items, how many, and where.
// The data type is one of the codes of DataType (data_type.h).
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
