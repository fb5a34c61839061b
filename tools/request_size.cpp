// Sizing of a request's data by its data type and count.

#include "tools.h"
#include "served_data_type.h"

int GetSafeDataLen(const CommunicatorCommand &command)
{
    // Products are taken on unsigned values: a count too large for its data
    // type wraps instead of overflowing a signed int.
    const unsigned int count = unsigned(command.count());
    switch (servedDataType(command.dataType())) {
    case BitData:
        return int(NumOfBitsToNumOfBytes(0, count));
    case ByteData:
        return int(count);
    case WordData:
        return int(2u * count);
    case DoubleWordData:
        return int(4u * count);
    case Long64Data:
        return int(8u * count);
    default:
        return 0;
    }
}

// No request of this driver carries more than a few hundred bytes; a count
// beyond this bound is refused by every transaction anyway, so the padding
// stops here instead of allocating gigabytes for a nonsensical count.
static const int MaxSafeDataLen = 1 << 20;

QByteArray ToSafeData(const CommunicatorCommand &command, const QByteArray &data)
{
    const int length = qBound(0, GetSafeDataLen(command), MaxSafeDataLen);
    if (data.size() == length)
        return data;
    if (data.size() > length)
        return data.left(length);
    QByteArray fitted(data);
    fitted.append(length - data.size(), '\0');
    return fitted;
}
